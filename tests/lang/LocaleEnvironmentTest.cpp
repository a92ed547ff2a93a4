// Started by ctest under a given locale (see CMakeLists.txt): the display language that the process's
// thread locale suggests, on Windows from GetThreadLocale, elsewhere from the POSIX environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lang/DisplayLanguage.h"
#include "platform/Locale.h"

namespace patcher {
namespace {

unsigned long Expected(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? 0 : std::stoul(value);
}

TEST(DisplayLanguage, FollowsTheLocaleTheProgramStartsUnder) {
    if (std::getenv("EXPECTED_LOCALE_ID") == nullptr) {
        GTEST_SKIP() << "started without a locale to expect";
    }
    EXPECT_EQ(ThreadLocaleId(), Expected("EXPECTED_LOCALE_ID"));
    EXPECT_EQ(DetectDisplayLanguage(), Expected("EXPECTED_DISPLAY_LANGUAGE"));
}

}  // namespace
}  // namespace patcher

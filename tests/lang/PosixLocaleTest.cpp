// The portable build's locale: POSIX names expressed as Windows locale identifiers.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdlib>
#include <optional>
#include <string>

#include "lang/DisplayLanguage.h"
#include "platform/Locale.h"
#include "platform/posix/PosixLocaleNames.h"

namespace patcher {
namespace {

// Sets or clears an environment variable for one test and puts the old value back.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() { Set(old_ ? old_->c_str() : nullptr); }

  private:
    void Set(const char* value) {
        if (value != nullptr) {
            ::setenv(name_, value, 1);
        } else {
            ::unsetenv(name_);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

TEST(LocaleIdFromPosixName, GivesTheIdentifiersWindowsGives) {
    const struct {
        const char* Name;
        std::uint32_t LocaleId;
    } cases[] = {
        {"pl_PL.UTF-8", 1045}, {"pl_PL", 1045},        {"pl", 1045},           {"de_AT.UTF-8", 3079},
        {"de_AT.utf8", 3079},  {"de_AT@euro", 3079},   {"de_DE", 1031},        {"de_CH", 2055},
        {"de_LU", 4103},       {"de_LI", 5127},        {"fr_FR.UTF-8", 1036},  {"fr_CA.UTF-8", 3084},
        {"fr_BE", 2060},       {"it_IT.UTF-8", 1040},  {"es_ES.UTF-8", 3082},  {"es_ES@tradnl", 1034},
        {"es_MX", 2058},       {"ru_RU.KOI8-R", 1049}, {"en_US.UTF-8", 1033},  {"en_GB", 2057},
        {"C", 1033},           {"C.UTF-8", 1033},      {"POSIX", 1033},        {"", 1033},
        {"xx_YY", 0x1000},     {"de_XX", 0x1000},      {"pl_PL@tradnl", 1045},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LocaleIdFromPosixName(c.Name), c.LocaleId) << c.Name;
    }
}

TEST(LocaleIdFromPosixName, LeadsToTheDisplayLanguage) {
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("pl_PL.UTF-8")), kPolish);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("en_US.UTF-8")), kPolish);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("fr_FR.UTF-8")), kFrench);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("fr_CA.UTF-8")), kPolish);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("de_AT.UTF-8")), kGerman);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("de_CH.UTF-8")), kGerman);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("it_IT.UTF-8")), kItalian);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("es_ES.UTF-8")), kPolish);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("es_ES@tradnl")), kSpanish);
    EXPECT_EQ(LanguageFromLocaleId(LocaleIdFromPosixName("ru_RU.UTF-8")), kRussian);
}

TEST(ThreadLocaleId, TakesTheFirstOfLcAllLcMessagesAndLang) {
    ScopedEnvironment all("LC_ALL", nullptr);
    ScopedEnvironment messages("LC_MESSAGES", nullptr);
    ScopedEnvironment lang("LANG", nullptr);
    EXPECT_EQ(ThreadLocaleId(), 1033u);

    ::setenv("LANG", "pl_PL.UTF-8", 1);
    EXPECT_EQ(ThreadLocaleId(), 1045u);
    ::setenv("LC_MESSAGES", "de_AT.UTF-8", 1);
    EXPECT_EQ(ThreadLocaleId(), 3079u);
    EXPECT_EQ(DetectDisplayLanguage(), kGerman);
    ::setenv("LC_ALL", "", 1);  // set but empty: not taken
    EXPECT_EQ(ThreadLocaleId(), 3079u);
    ::setenv("LC_ALL", "ru_RU.UTF-8", 1);
    EXPECT_EQ(ThreadLocaleId(), 1049u);
    EXPECT_EQ(DetectDisplayLanguage(), kRussian);
}

}  // namespace
}  // namespace patcher
#endif

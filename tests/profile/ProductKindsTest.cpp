#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "profile/ProductKinds.h"

namespace patcher {
namespace {

// The one kind that records its directory under the fixed key is the one whose run can ask for the program
// file instead, and it hides English as the German office edition (5) does; only kind 6 makes help shortcuts.
TEST(ProductKinds, EachKindCarriesItsOwnSteps) {
    for (std::int32_t kind = 1; kind <= 6; ++kind) {
        EXPECT_EQ(InstallRecordOf(kind) == InstallRecord::FixedKey, kind == 4) << kind;
        EXPECT_EQ(AsksForProgramFile(kind), kind == 4) << kind;
        EXPECT_EQ(HidesEnglishFlag(kind), kind == 4 || kind == 5) << kind;
        EXPECT_EQ(MakesHelpShortcuts(kind), kind == 6) << kind;
        EXPECT_NE(InstallRecordOf(kind), InstallRecord::None) << kind;
    }
}

TEST(ProductKinds, AKindOutsideTheTableHasNoRecordAndNoSteps) {
    for (const std::int32_t kind :
         {0, 7, -1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        EXPECT_EQ(InstallRecordOf(kind), InstallRecord::None) << kind;
        EXPECT_FALSE(AsksForProgramFile(kind) || HidesEnglishFlag(kind) || MakesHelpShortcuts(kind)) << kind;
    }
}

}  // namespace
}  // namespace patcher

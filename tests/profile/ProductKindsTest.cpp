#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "profile/ProductKinds.h"

namespace patcher {
namespace {

// Each kind's traits are tested where they act (the lookup, the window, the run, the shortcuts); here only
// what lies outside the table, down to the extremes that an index into it could overflow at.
TEST(ProductKinds, AKindOutsideTheTableHasNoRecordAndNoSteps) {
    for (const std::int32_t kind :
         {0, 7, -1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        EXPECT_EQ(InstallRecordOf(kind), InstallRecord::None) << kind;
        EXPECT_FALSE(AsksForProgramFile(kind) || HidesEnglishFlag(kind) || MakesHelpShortcuts(kind)) << kind;
    }
}

}  // namespace
}  // namespace patcher

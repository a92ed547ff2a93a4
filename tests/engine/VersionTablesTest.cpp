#include <gtest/gtest.h>

#include "engine/VersionTables.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

TEST(VersionTables, KnowThirtyThreeBuildsWithGapsAndRepeatedSizes) {
    int known = 0;
    for (int file = 1; file <= kFileCount; ++file) {
        for (int version = 1; version <= kMaxVersions; ++version) {
            known += VersionSize(file, version) != 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(known, 33);
    EXPECT_EQ(VersionSize(2, 2), 0);  // VokarInt.exe knows versions 1 and 4 only
    EXPECT_EQ(VersionSize(2, 4), 1187328);
    EXPECT_EQ(NewestVersion(2), 4);
    EXPECT_EQ(VersionSize(1, 4), VersionSize(1, 5));
    EXPECT_EQ(VersionSize(1, 6), 2075648);
    EXPECT_EQ(VersionSize(1, 11), 2288640);
    EXPECT_LT(VersionSize(1, 11), VersionSize(1, 10));
    EXPECT_EQ(VersionSize(10, 1), 17567);
    EXPECT_EQ(VersionSize(0, 1), 0);
    EXPECT_EQ(VersionSize(13, 1), 0);
    EXPECT_EQ(VersionSize(1, 12), 0);
}

TEST(VersionTables, OnlyTheTwoHelpFilesHaveASingleVersion) {
    for (int file = 1; file <= kFileCount; ++file) {
        EXPECT_EQ(NewestVersion(file) == 1, file == 9 || file == 10) << "file " << file;
    }
}

}  // namespace
}  // namespace patcher

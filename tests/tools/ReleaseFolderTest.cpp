// Opening the files of a release folder, under either resolution: what leaves the folder is refused by the
// opening itself, also where a folder on the way is swapped for a link after the folder was opened and the
// path looked at.
#include "tools/patchkit/posix/PosixReleaseFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tools/patchkit/InputFiles.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Noise;
using testing::WriteFile;

// release/10/1/help.chm, and outside/1/help.chm beside it: a link to outside in the place of release/10 makes
// "10/1/help.chm" the outside file.
class ReleaseFolderTest : public ::testing::TestWithParam<Resolution> {
  protected:
    ReleaseFolderTest() {
        WriteFile(Release() / "10/1/help.chm", Noise(3000, 1));
        WriteFile(Outside() / "1/help.chm", Noise(3000, 9));
    }

    fs::path Release() const { return dir_.Path() / "release"; }
    fs::path Outside() const { return dir_.Path() / "outside"; }

    // Why reading `path` is refused, or "(read)" with the bytes in `read`.
    std::string Refusal(const ReleaseFolder& folder, const std::string& path, Bytes& read) const {
        try {
            read = folder.Read(path, 1 << 20, "that a test reads");
        } catch (const ReadError& error) {
            return error.what();
        }
        return "(read)";
    }

  private:
    testing::TempDir dir_;
};

TEST_P(ReleaseFolderTest, AFolderSwappedForALinkAfterTheFolderWasOpenedLeadsNowhere) {
    const PosixReleaseFolder folder(Release(), GetParam());
    Bytes read;
    ASSERT_EQ(Refusal(folder, "10/1/help.chm", read), "(read)");
    EXPECT_TRUE(read == Noise(3000, 1));

    // What any look at the path saw is true no longer: release/10 and a link to outside change places.
    fs::create_directory_symlink(Outside(), Release() / "swap");
    ASSERT_EQ(
        ::renameat2(AT_FDCWD, (Release() / "10").c_str(), AT_FDCWD, (Release() / "swap").c_str(), RENAME_EXCHANGE), 0);
    ASSERT_TRUE(fs::is_symlink(Release() / "10"));
    read.clear();
    const std::string refusal = Refusal(folder, "10/1/help.chm", read);
    EXPECT_EQ(refusal.rfind("a link on the way", 0), 0u) << refusal;
    EXPECT_TRUE(read.empty());
}

TEST_P(ReleaseFolderTest, PathsThatLeaveTheFolderAreRefusedByTheOpening) {
    const PosixReleaseFolder folder(Release(), GetParam());
    fs::create_directory_symlink(Outside(), Release() / "linked");
    fs::create_symlink(Outside() / "1/help.chm", Release() / "10/1/full.chm");
    Bytes read;
    EXPECT_EQ(Refusal(folder, "10/../../outside/1/help.chm", read), "it lies outside the release folder");
    EXPECT_EQ(Refusal(folder, "linked/1/help.chm", read).rfind("a link on the way", 0), 0u);
    EXPECT_EQ(Refusal(folder, "10/1/full.chm", read).rfind("a link on the way", 0), 0u);
    EXPECT_EQ(Refusal(folder, "10/1", read), "Is a directory");
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(Refusal(folder, "10/1/../1/help.chm", read), "(read)");
}

// Where the kernel has no openat2, no link is followed: one that stays inside the folder neither.
TEST(ReleaseFolderWalk, FollowsNoLink) {
    testing::TempDir dir;
    WriteFile(dir.Path() / "10/1/help.chm", Noise(3000, 1));
    fs::create_directory_symlink("10", dir.Path() / "inside");
    const PosixReleaseFolder walked(dir.Path(), Resolution::Walk);
    EXPECT_THROW(walked.Read("inside/1/help.chm", 1 << 20, "that a test reads"), ReadError);
    const PosixReleaseFolder kernel(dir.Path(), Resolution::Kernel);
    EXPECT_TRUE(kernel.Read("inside/1/help.chm", 1 << 20, "that a test reads") == Noise(3000, 1));
}

std::string ResolutionName(const ::testing::TestParamInfo<Resolution>& resolution) {
    return resolution.param == Resolution::Kernel ? "Kernel" : "Walk";
}

INSTANTIATE_TEST_SUITE_P(Resolutions,
                         ReleaseFolderTest,
                         ::testing::Values(Resolution::Kernel, Resolution::Walk),
                         ResolutionName);

}  // namespace
}  // namespace patcher::patchkit

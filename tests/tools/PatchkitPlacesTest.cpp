// Where patchkit finds what it does not name on its command line: the Windows programs that ship with it, beside
// it in a build tree or in lib/patchkit of an installation, and the build's patcher, which an installed patchkit
// may no longer find.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tools/patchkit/BundledFiles.h"
#include "tools/patchkit/PatcherFile.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;

TEST(BundledFiles, BesidePatchkitFirstThenWhereItIsInstalled) {
    testing::TempDir prefix;
    const fs::path bin = prefix.Path() / "bin";
    testing::WriteFile(prefix.Path() / "lib" / "patchkit" / "patcher-stub-i686.exe", "installed");
    testing::WriteFile(prefix.Path() / "lib" / "patchkit" / "patcher-record-i686.exe", "installed");
    testing::WriteFile(bin / "patcher-record-i686.exe", "beside");

    EXPECT_EQ(testing::ReadText(BundledFileIn(bin, "patcher-stub-i686.exe", "--stub")), "installed");
    EXPECT_EQ(testing::ReadText(BundledFileIn(bin, "patcher-record-i686.exe", "--record-writer")), "beside");
    try {
        BundledFileIn(bin, "patcher-stub-x86_64.exe", "--stub");
        ADD_FAILURE() << "a missing stub was found";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "patchkit's patcher-stub-x86_64.exe is neither beside it nor in \"" +
                                                 (prefix.Path() / "lib" / "patchkit").string() + "\": give --stub");
    }
}

TEST(BuildPatcher, WithoutItsPatcherAnInstalledPatchkitAsksForOne) {
    testing::TempDir dir;
    const fs::path gone = dir.Path() / "build" / "VokarEn-1.5.3-patch.exe";
    std::vector<std::string> arguments = {"--patcher", "other.exe", "1", "VokarEn.exe"};
    EXPECT_EQ(TakePatcherOption(arguments, gone), "other.exe");
    EXPECT_EQ(arguments, (std::vector<std::string>{"1", "VokarEn.exe"}));
    try {
        TakePatcherOption(arguments, gone);
        ADD_FAILURE() << "a patcher that is not there was taken";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "--patcher EXE is needed: the English patcher of the build that this patchkit came from, \"" +
                      gone.string() + "\", is not there");
    }
    testing::WriteFile(gone, "MZ");
    EXPECT_EQ(TakePatcherOption(arguments, gone), gone);
}

}  // namespace
}  // namespace patcher::patchkit

// Where the maintainers' tool writes, at the command line: every output is written beside its place under a
// short scratch name and renamed in, never through a link that stands below the folder given, and never over
// what is not a regular file or a folder; an output that cannot be written leaves the earlier one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/tools/PatchkitCommandLine.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using testing::kTinyPatcher;
using testing::Patchkit;
using testing::ReadBytes;
using testing::ReadText;
using testing::Refusals;
using testing::WriteFile;

// The user that a test runs patchkit as where it runs as root, whom no mode bits stop.
constexpr unsigned kNobody = 65534;

// The command as a user without root's rights where the test runs as root; the folder becomes that user's.
std::vector<std::string> WithoutRoot(std::vector<std::string> command, const fs::path& folder) {
    if (::geteuid() != 0) {
        return command;
    }
    EXPECT_EQ(::lchown(folder.c_str(), kNobody, kNobody), 0);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        EXPECT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
    }
    command.insert(command.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    return command;
}

TEST_F(Refusals, StandinWritesOnlyRegularFilesInPlaceAndNeverThroughALink) {
    const fs::path outside = Dir() / "outside.bin";
    WriteFile(outside, std::string("not a stand-in"));
    const fs::path linked = Dir() / "linked";
    fs::create_directories(linked / "1/1");
    fs::create_symlink(outside, linked / "1/1/VokarEn.exe");
    ExpectRefused(Patchkit({"standin", linked}),
                  "patchkit standin: cannot write \"" + (linked / "1/1/VokarEn.exe").string() +
                      "\" (a symbolic link, which is never written through)\n",
                  {outside, linked});

    // A link where a folder belongs leads nowhere either, also to a folder that could be written.
    const fs::path folderLink = Dir() / "folder-link";
    fs::create_directories(folderLink);
    fs::create_directory_symlink(Out(), folderLink / "1");
    ExpectRefused(Patchkit({"standin", folderLink}),
                  "cannot write \"" + (folderLink / "1").string() + "\" (a symbolic link, which is never followed)",
                  {folderLink});

    // A FIFO in a file's place is refused, not waited on.
    const fs::path fifo = Dir() / "fifo";
    fs::create_directories(fifo / "1/1");
    ASSERT_EQ(::mkfifo((fifo / "1/1/VokarEn.exe").c_str(), 0644), 0);
    ExpectRefused(Patchkit({"standin", fifo}), "\" (not a regular file, and only one is replaced)", {fifo});

    // A full disk leaves an earlier stand-in as it was, and nothing beside it.
    const fs::path earlier = Dir() / "earlier";
    WriteFile(earlier / "1/1/VokarEn.exe", std::string("an earlier stand-in"));
    ExpectRefused(
        Patchkit({"standin", earlier}, true),
        "patchkit standin: cannot write \"" + (earlier / "1/1/VokarEn.exe").string() + "\" (File too large)\n",
        {earlier});
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});

    // The folder as given, in the system's words; an empty path names no folder (and never the current one).
    ExpectRefused(Patchkit({"standin", outside / "x"}),
                  "patchkit standin: cannot make the folder \"" + (outside / "x").string() + "\" (Not a directory)\n");
    ExpectRefused(Patchkit({"standin", ""}),
                  "patchkit standin: the output folder is an empty path, which names no folder\n");
}

// glyphs writes its files as standin does, never through a link below its folder.
TEST_F(Refusals, GlyphsNeverWriteThroughALink) {
    const fs::path outside = Dir() / "outside.rc";
    WriteFile(outside, std::string("not a resource script"));
    const fs::path glyphs = Dir() / "glyphs";
    fs::create_directories(glyphs);
    fs::create_symlink(outside, glyphs / "FlagGlyphs.rc");
    ExpectRefused(Patchkit({"glyphs", glyphs}),
                  "patchkit glyphs: cannot write \"" + (glyphs / "FlagGlyphs.rc").string() +
                      "\" (a symbolic link, which is never written through)\n",
                  {outside});
    EXPECT_TRUE(fs::is_symlink(glyphs / "FlagGlyphs.rc"));
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});
}

// Names of up to 255 bytes, the most that a folder holds: the scratch name beside them is a short one.
TEST_F(Refusals, OutputsNamedWithTheLongestNamesAreWritten) {
    const fs::path out = Dir() / std::string(255, 'o');
    Succeeds(Build(Description(), out));
    EXPECT_TRUE(ReadBytes(out / kTinyPatcher) == ReadBytes(Patcher()));

    const fs::path input = Release() / "10/1/help.chm";
    const fs::path packed = Dir() / std::string(255, 'p');
    const fs::path unpacked = Dir() / std::string(255, 'u');
    Succeeds(Patchkit({"pack", "--greedy", input, packed}));
    Succeeds(Patchkit({"unpack", packed, unpacked}));
    EXPECT_TRUE(ReadBytes(unpacked) == ReadBytes(input));
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});
}

// A folder that may not be written to (mode 555), as OUTDIR or where OUTDIR is to be made, refuses the patcher
// in the system's words: an earlier patcher there stays as it was, and nothing is left beside it.
TEST_F(Refusals, AFolderThatMayNotBeWrittenToKeepsAnEarlierPatcher) {
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(Out(), readOnly);
    ExpectRefused(WithoutRoot(Build(Description()), Dir()),
                  "patchkit build: cannot write \"" + Patcher().string() + "\" (Permission denied)\n");
    fs::permissions(Out(), fs::perms::owner_all, fs::perm_options::add);

    const fs::path locked = Dir() / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, readOnly);
    ExpectRefused(WithoutRoot(Build(Description(), locked / "out"), Dir()),
                  "patchkit build: cannot make the folder \"" + (locked / "out").string() + "\" (Permission denied)\n",
                  {locked});
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});
}

// The patcher is written in its place, never through a link there nor over a folder, which stay as they were.
TEST_F(Refusals, ThePatcherIsNeverWrittenThroughALinkOrOverAFolder) {
    const fs::path outside = Dir() / "outside.exe";
    WriteFile(outside, std::string("not a patcher"));
    fs::remove(Patcher());
    fs::create_symlink(outside, Patcher());
    ExpectRefused(Build(Description()),
                  "patchkit build: cannot write \"" + Patcher().string() +
                      "\" (a symbolic link, which is never written through)\n",
                  {outside});
    fs::remove(Patcher());
    fs::create_directories(Patcher() / "inside");
    ExpectRefused(Build(Description()),
                  "patchkit build: cannot write \"" + Patcher().string() + "\" (Is a directory)\n");
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});
}

// A link given as OUTDIR stays, also one that leads to nothing yet: the folder it leads to is made, and is
// checked as any output folder is.
TEST_F(Refusals, ALinkGivenAsTheOutputFolderStaysAndTheFolderItLeadsToIsMade) {
    const fs::path link = Dir() / "dangling";
    fs::create_symlink("made", link);
    for (int build = 0; build < 2; ++build) {
        Succeeds(Build(Description(), link));
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), "made");
        EXPECT_TRUE(ReadBytes(Dir() / "made" / kTinyPatcher) == ReadBytes(Patcher()));
    }

    const fs::path intoRelease = Dir() / "into-release";
    fs::create_symlink(Release() / "10/new", intoRelease);
    ExpectRefused(Build(Description(), intoRelease), "\" lies inside the release folder \"", {intoRelease});
}

}  // namespace
}  // namespace patcher::patchkit

// The maintainers' tool as a careless or hostile maintainer meets it, one class of bad input per test: every
// refusal exits with 1 and one line on standard error that names what was given and why, without a crash,
// a sanitizer's report or a hang; and the release folder, the description and an existing output stay byte
// for byte as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/tools/PatchkitCommandLine.h"
#include "tests/tools/TinyRelease.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using testing::kTinyDescription;
using testing::kTinyPatcher;
using testing::Noise;
using testing::Outcome;
using testing::Patchkit;
using testing::ReadBytes;
using testing::ReadText;
using testing::Refusals;
using testing::RunProgram;
using testing::Snapshot;
using testing::WriteFile;

// One file described twice, its index quoted the second time: the TOML reader refuses the key before the
// indices are compared, and the later of the two is named.
TEST_F(Refusals, OneFileDescribedTwiceIsRefused) {
    const std::string quoted = kTinyDescription + "[File.\"10\"]\nVersions = { 1 = \"10/1/help.chm\" }\n";
    ExpectRefused(Build(Describe("quoted.toml", quoted)),
                  "quoted.toml:11: File.\"10\" describes file 10 again, as File.10 on line 6 does\n");
    std::string first = kTinyDescription;
    first.insert(first.find("[File.10]"), "[File.\"10\"]\nVersions = { 1 = \"10/1/help.chm\" }\n");
    ExpectRefused(Build(Describe("first.toml", first)),
                  "first.toml:8: File.10 describes file 10 again, as File.\"10\" on line 6 does");
}

// A version path that leaves the release folder, by "..", by a link, or from the root.
TEST_F(Refusals, PathsThatLeaveTheReleaseFolderAreRefused) {
    WriteFile(Dir() / "outside.bin", Noise(3200, 3));
    const fs::path elsewhere = Dir() / "elsewhere";
    WriteFile(elsewhere / "help.chm", Noise(3300, 4));
    fs::create_directory_symlink(elsewhere, Release() / "linked");
    fs::create_symlink("../../../outside.bin", Release() / "10/1/link.chm");
    const auto second = [&](const std::string& path) {
        std::string text = kTinyDescription;
        text.replace(text.find("10/2/help.chm"), 13, path);
        return Describe("paths.toml", text);
    };
    const std::vector<fs::path> watched = {Dir() / "outside.bin", elsewhere};
    ExpectRefused(Build(second("../outside.bin")),
                  "paths.toml:9: file 10 version 2: \"../outside.bin\" cannot be read (it lies outside the release "
                  "folder)",
                  watched);
    ExpectRefused(Build(second("10/../../outside.bin")), "it lies outside the release folder", watched);
    ExpectRefused(Build(second("10/1/link.chm")),
                  "\"10/1/link.chm\" cannot be read (a link on the way leads outside the release folder, to " +
                      (Dir() / "outside.bin").string() + ")",
                  watched);
    ExpectRefused(Build(second("linked/help.chm")), "a link on the way leads outside the release folder", watched);
    ExpectRefused(Build(second("/etc/hostname")), "the path \"/etc/hostname\" must lie inside the release folder",
                  watched);

    // A link that stays inside the release folder is followed.
    fs::create_symlink("../2/help.chm", Release() / "10/1/inside.chm");
    Succeeds(Build(second("10/1/inside.chm"), Dir() / "other"));
}

// An output folder that is the release folder, holds it or the description, or lies inside
// it, also when it is reached through a link.
TEST_F(Refusals, OutputFoldersThatWouldDeleteWhatTheBuildReadsAreRefused) {
    fs::create_directory_symlink(Release(), Dir() / "release-link");
    fs::create_directory_symlink(Dir(), Dir() / "dir-link");
    ExpectRefused(Build(Description(), Dir() / "release-link"), "\" is the release folder \"");
    ExpectRefused(Build(Description(), Release() / "."), "\" is the release folder \"");
    ExpectRefused(Build(Description(), Dir() / "dir-link"), "\" holds the release folder \"");
    ExpectRefused(Build(Description(), Release() / "10/new"), "\" lies inside the release folder \"");
    ExpectRefused(Build(Description(), Dir() / "release-link/10"), "\" lies inside the release folder \"");

    // The description kept in an output folder, or reached through a link in it.
    WriteFile(Dir() / "kept/patch.toml", kTinyDescription);
    ExpectRefused(Build((Dir() / "kept/patch.toml").string(), Dir() / "kept"), "\" holds the description \"",
                  {Dir() / "kept"});
    fs::create_symlink(Description(), Out() / "linked.toml");
    ExpectRefused(Build((Out() / "linked.toml").string()), "\" holds the description \"");
    fs::remove(Out() / "linked.toml");
    ExpectRefused(Build(Description(), Release() / "10/1/help.chm"), "\" exists and is not a folder");
}

// Descriptions nested 50,000 levels deep in each way that TOML nests, or larger than 1 MiB,
// are refused before the TOML reader sees them (it would overflow its stack).
TEST_F(Refusals, DescriptionsTooDeepOrTooLargeAreRefusedBeforeTheyAreRead) {
    std::string key = "a";
    for (int i = 1; i < 50000; ++i) {
        key += ".a";
    }
    const std::string tooDeep = "tables, arrays and keys nest more than 32 levels deep here";
    ExpectRefused(Build(Describe("header.toml", kTinyDescription + "[" + key + "]\n")), "header.toml:11: " + tooDeep);
    ExpectRefused(Build(Describe("key.toml", key + " = 1\n" + kTinyDescription)), "key.toml:1: " + tooDeep);
    ExpectRefused(Build(Describe("arrays.toml", "a = " + std::string(50000, '[') + std::string(50000, ']') + "\n")),
                  tooDeep);
    std::string tables = "a = ";
    for (int i = 0; i < 25000; ++i) {
        tables += "{ a = ";
    }
    ExpectRefused(Build(Describe("tables.toml", tables + "1" + std::string(25000, '}') + "\n")), tooDeep);
    std::string large = kTinyDescription + "#";
    large.resize((1 << 20) + 1, 'x');
    ExpectRefused(Build(Describe("large.toml", large)),
                  "large.toml: cannot be read (1048577 bytes, more than the 1048576 that a description may have)");
    ExpectRefused(Build(Describe("letter.toml", kTinyDescription + "x\xD1\x9E = 1\n")),
                  "letter.toml:11: the byte 0xD1 stands outside a string and a comment");
}

// A description that is no regular file is refused unread, without waiting on a FIFO or
// reading a device without end.
TEST_F(Refusals, DescriptionsThatAreNoRegularFileAreRefused) {
    const fs::path fifo = Dir() / "fifo.toml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ExpectRefused(Build(fifo.string()), "fifo.toml: cannot be read (not a regular file)");
    ExpectRefused(Build("/dev/zero"), "/dev/zero: cannot be read (not a regular file)");
    ExpectRefused(Build(Release().string()), "release: cannot be read (Is a directory)");
}

// Names that a generated script would take as code: a description and an output folder named with line breaks
// and quotes give the same patcher as any other, which is written without a script. The glyphs' resource script
// cannot name a file in a folder whose name holds a backslash, which is refused.
TEST_F(Refusals, NamesThatAScriptWouldTakeAsCodeBuildAlikeAndGlyphsRefuseThem) {
    const std::string name = "x\nmessage(FATAL_ERROR injected)\nint injected = 1;\n#.toml";
    const fs::path named = Dir() / "say\"cheese\"\ntwo lines";
    Succeeds(Build(Describe(name, kTinyDescription), named));
    EXPECT_TRUE(ReadBytes(named / kTinyPatcher) == ReadBytes(Patcher()));

    ExpectRefused(Patchkit({"glyphs", (Dir() / "back\\slash").string()}), "holds a backslash");
    EXPECT_FALSE(fs::exists(Dir() / "back\\slash"));
}

// Outputs that would destroy inputs. `pack` and `unpack` refuse to write their input, and
// write through a file beside the output, so that a full disk leaves an existing output as it was.
TEST_F(Refusals, OutputsThatWouldDestroyTheirInputsAreRefused) {
    const fs::path input = Dir() / "input.bin";
    WriteFile(input, Noise(200000, 5));
    fs::create_hard_link(input, Dir() / "same.bin");
    ExpectRefused(Patchkit({"pack", input, input}), "\" is the input \"", {input});
    ExpectRefused(Patchkit({"pack", "--greedy", input, Dir() / "same.bin"}), "\" is the input \"", {input});
    const fs::path packed = Dir() / "packed.bin";
    Succeeds(Patchkit({"pack", "--greedy", input, packed}));
    ExpectRefused(Patchkit({"unpack", packed, packed}), "\" is the input \"", {packed});

    const fs::path existing = Dir() / "existing.bin";
    WriteFile(existing, std::string("an earlier output"));
    ExpectRefused(Patchkit({"pack", "--greedy", input, existing}, true),
                  "patchkit pack: cannot write \"" + existing.string() + "\" (File too large)\n", {input, existing});
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});
}

// Messages name what the maintainer gave, shortened when long, a NUL or a line break in it
// shown as an escape; a failed write gives the system's reason and the output as given, no scratch name.
TEST_F(Refusals, MessagesNameWhatWasGivenOnOneLine) {
    std::string text = kTinyDescription;
    text.replace(text.find("10/2/help.chm"), 13, "10/2/he\\u0000lp\\nchm");
    ExpectRefused(Build(Describe("nul.toml", text)),
                  "nul.toml:9: file 10 version 2: the path \"10/2/he\\x00lp\\nchm\" holds a control character");

    const std::string longPath = (Dir() / std::string(100000, 'a')).string() + ".toml";
    const std::string refusal = ExpectRefused(
        Build(longPath), "a.toml (" + std::to_string(longPath.size()) + " bytes): cannot be read (File name too long)");
    EXPECT_LT(refusal.size(), 400u) << refusal;

    text = kTinyDescription;
    text.replace(text.find("10/2/help.chm"), 13, std::string(500000, 'b'));
    const std::string longValue =
        ExpectRefused(Build(Describe("long.toml", text)), "b (500000 bytes)\" cannot be read (File name too long)");
    EXPECT_LT(longValue.size(), 400u) << longValue;

    // A full disk while the patcher is written: the patcher as given, the reason, nothing left over.
    WriteFile(Release() / "10/2/help.chm", Noise(100000, 6));
    const std::vector<std::string> build = Build(Description());
    ExpectRefused(Patchkit({build.begin() + 1, build.end()}, true),
                  "patchkit build: cannot write \"" + Patcher().string() + "\" (File too large)\n");
    EXPECT_EQ(ScratchLeft(), std::vector<std::string>{});
}

// Words that say what is wrong in the maintainer's terms, where the system's or the TOML reader's would mislead
// or say nothing.
TEST_F(Refusals, RefusalsSayWhatIsWrongInTheMaintainersTerms) {
    const auto second = [&](const std::string& path) {
        std::string text = kTinyDescription;
        text.replace(text.find("10/2/help.chm"), 13, path);
        return Describe("folder.toml", text);
    };
    // A version path that names the release folder itself: no link is involved.
    ExpectRefused(Build(second(".")),
                  "folder.toml:9: file 10 version 2: \".\" cannot be read (it names the release folder, not a file)\n");
    ExpectRefused(Build(second("10/..")), "\"10/..\" cannot be read (it names the release folder, not a file)\n");

    // An empty OUTDIR names no folder, where the library would speak of an absolute path.
    const std::string empty = "the output folder is an empty path, which names no folder\n";
    std::vector<std::string> intoNothing = Build(Description());
    intoNothing.back() = "";
    ExpectRefused(intoNothing, "patchkit build: " + empty);
    ExpectRefused(Patchkit({"glyphs", ""}), "patchkit glyphs: " + empty);

    // A file index on the command line is digits alone: no blank, no sign, no leading zero.
    for (const std::string index : {" 1", "+1", "1 ", "0x1", "01", "010"}) {
        const Outcome outcome = RunProgram(Patchkit({"recognise", index, Release() / "10/1/help.chm"}), Dir());
        EXPECT_EQ(outcome.ExitCode, 2) << index;
        EXPECT_EQ(outcome.Errors.rfind(
                      "patchkit recognise: the file index must be a number from 1 to 12, without leading zeros\n", 0),
                  0u)
            << index << ": " << outcome.Errors;
    }
    EXPECT_EQ(Succeeds(Patchkit({"recognise", "--patcher", Patcher(), "10", Release() / "10/1/help.chm"})).Output,
              "OutOfDate 1\n");
}

// The scrambler's numbers as its range has them, a method from 1 to 10 and a key from 1 to 6, each written
// one way only: the scrambler would give the text back for any other, which reads as a record scrambled.
TEST_F(Refusals, ScrambleRefusesNumbersOutsideItsRangeOrWrittenOtherwise) {
    const std::string method = "patchkit scramble: METHOD must be a number from 1 to 10, without leading zeros\n";
    const std::string key = "patchkit scramble: KEY must be a number from 1 to 6, without leading zeros\n";
    const struct {
        std::string Method;
        std::string Key;
        std::string Refusal;
    } cases[] = {
        {"0", "5", method}, {"11", "5", method}, {"007", "5", method}, {"-1", "5", method}, {" 1", "5", method},
        {"1", "0", key},    {"1", "7", key},     {"1", "05", key},     {"1", "+5", key},    {"1", "", key},
    };
    for (const auto& [methodText, keyText, refusal] : cases) {
        const Outcome outcome = RunProgram(Patchkit({"scramble", "encode", methodText, keyText, "41"}), Dir());
        EXPECT_EQ(outcome.ExitCode, 2) << methodText << " " << keyText;
        EXPECT_EQ(outcome.Errors.rfind(refusal, 0), 0u) << outcome.Errors;
        EXPECT_EQ(outcome.Output, "");
    }
    // The ends of the range: method 10 leaves the text as it is.
    EXPECT_EQ(Succeeds(Patchkit({"scramble", "decode", "10", "6", "41"})).Output, "41\n");
}

// A file that recognise cannot read is refused with the reason, not printed as a result.
TEST_F(Refusals, RecogniseRefusesAFileItCannotReadSayingWhy) {
    const fs::path missing = Dir() / "missing.chm";
    ExpectRefused(Patchkit({"recognise", "--patcher", Patcher(), "10", missing}),
                  "patchkit recognise: \"" + missing.string() + "\" cannot be read (No such file or directory)\n");
    const fs::path fifo = Dir() / "fifo.chm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ExpectRefused(Patchkit({"recognise", "--patcher", Patcher(), "10", fifo}),
                  "\"" + fifo.string() + "\" cannot be read (not a regular file)\n");
}

// The patcher that rewrite takes its tables and packed data from is a regular file: a FIFO in its place is
// refused, not waited on for a writer, and the file to rewrite stays as it was.
TEST_F(Refusals, RewriteRefusesAPatcherThatIsNoRegularFile) {
    const fs::path fifo = Dir() / "fifo.exe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const fs::path target = Dir() / "help.chm";
    fs::copy_file(Release() / "10/1/help.chm", target);
    ExpectRefused(Patchkit({"rewrite", "--patcher", fifo, "10", target}),
                  "patchkit rewrite: \"" + fifo.string() + "\" cannot be read (not a regular file)\n", {target, fifo});
}

// A packed file holds one stream and nothing after it: bytes behind the stream are refused, not ignored.
TEST_F(Refusals, UnpackRefusesBytesAfterTheStream) {
    const fs::path packed = Dir() / "packed.bin";
    Succeeds(Patchkit({"pack", "--greedy", Release() / "10/1/help.chm", packed}));
    const std::string stream = ReadText(packed);
    WriteFile(packed, stream + "xyz");
    const fs::path unpacked = Dir() / "unpacked.bin";
    ExpectRefused(
        Patchkit({"unpack", packed, unpacked}),
        "\" does not unpack: its stream ends after " + std::to_string(stream.size()) + " bytes, and 3 more follow\n",
        {packed, unpacked});
}

// What a command prints must reach standard output: output lost to a full disk fails the command.
TEST_F(Refusals, OutputThatCannotBeWrittenFailsTheCommand) {
    ExpectRefused({"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full", PATCHER_HOST_PATCHKIT, "catalogue"},
                  "patchkit catalogue: cannot write to the standard output (No space left on device)\n");
}

// The window shows the product and version of file UpdateIndex: an update that does not bring that file
// would show another product's.
TEST_F(Refusals, AnUpdateIndexThatTheUpdateDoesNotBringIsRefused) {
    std::string text = kTinyDescription;
    text.replace(text.find("UpdateIndex = 10"), 16, "UpdateIndex = 5");
    const std::string other = Describe("other.toml", text);
    const std::string refusal =
        "other.toml:4: UpdateIndex = 5 is not one of SelectedFiles: the window shows the "
        "product and version of file 5, and the update brings no file 5\n";
    ExpectRefused(Build(other), refusal);
}

}  // namespace
}  // namespace patcher::patchkit

// The maintainers' tool as a careless or hostile maintainer meets it, one class of bad input per test: every
// refusal exits with 1 and one line on standard error that names what was given and why, without a crash,
// a sanitizer's report or a hang; and the release folder, the description and an existing output stay byte
// for byte as they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Noise;
using testing::ReadText;

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void Write(const fs::path& path, const Bytes& bytes) {
    Write(path, std::string(bytes.begin(), bytes.end()));
}

// Everything at a path, links not followed: each file's bytes, each link's target, each folder.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> seen;
    const auto record = [&](const fs::path& path, const std::string& name) {
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            seen[name] = "link to " + fs::read_symlink(path).string();
        } else if (fs::is_regular_file(status)) {
            seen[name] = "file " + ReadText(path);
        } else if (fs::is_directory(status)) {
            seen[name] = "folder";
        } else if (fs::exists(status)) {
            seen[name] = "other";
        }
    };
    record(root, ".");
    if (fs::is_directory(fs::symlink_status(root))) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            record(entry.path(), fs::relative(entry.path(), root).string());
        }
    }
    return seen;
}

struct Outcome {
    int ExitCode = -1;  // 128 + the signal for a program that was killed
    bool TimedOut = false;
    std::string Output;
    std::string Errors;
};

// The file actions of one spawn, released on every path.
class SpawnActions {
  public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* Get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

// Runs a program with exactly these arguments (no shell reads them: they may hold line breaks and quotes),
// its output and errors into files of `scratch`, and waits for it for at most 60 seconds; a program still
// running then is killed and reported as timed out.
Outcome RunProgram(const std::vector<std::string>& arguments, const fs::path& scratch) {
    const fs::path output = scratch / "stdout.txt";
    const fs::path errors = scratch / "stderr.txt";
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.Get(), 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_addopen(actions.Get(), 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Outcome outcome;
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0) {
        outcome.Errors = "cannot start " + arguments[0];
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            outcome.TimedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    outcome.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.Output = ReadText(output);
    outcome.Errors = ReadText(errors);
    return outcome;
}

// patchkit with these arguments, under a file-size limit of 32 KiB when `fullDisk` is set: every write past
// it fails as a write onto a full disk does (with "File too large" rather than "No space left on device").
std::vector<std::string> Patchkit(std::vector<std::string> arguments, bool fullDisk = false) {
    arguments.insert(arguments.begin(), PATCHKIT_PATH);
    if (fullDisk) {
        arguments.insert(arguments.begin(), {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\""});
    }
    return arguments;
}

// File 10 (one slot) with two builds of a few kilobytes; its versions are on lines 8 and 9.
const std::string kDescription =
    "ProductIndex = 2\n"
    "ProductLanguage = 1\n"
    "ProductKind = 1\n"
    "UpdateIndex = 10\n"
    "SelectedFiles = [10]\n"
    "[File.10]\n"
    "Versions = [\n"
    "    \"10/1/help.chm\",\n"
    "    \"10/2/help.chm\",\n"
    "]\n";

// A release, its description and the output of a build that succeeded, in a folder of their own.
class Refusals : public ::testing::Test {
  protected:
    Refusals() {
        Write(Release() / "10/1/help.chm", Noise(3000, 1));
        Write(Release() / "10/2/help.chm", Noise(3100, 2));
        Write(Description(), kDescription);
        scratch_ = dir_.Path() / "scratch";
        fs::create_directories(scratch_);
        const Outcome built = RunProgram(Patchkit({"build", "--greedy", Description(), Release(), Out()}), scratch_);
        EXPECT_EQ(built.ExitCode, 0) << built.Errors;
    }

    fs::path Dir() const { return dir_.Path(); }
    fs::path Release() const { return dir_.Path() / "release"; }
    fs::path Out() const { return dir_.Path() / "out"; }
    std::string Description() const { return (dir_.Path() / "patch.toml").string(); }

    // A description of this name beside the standard one.
    std::string Describe(const std::string& name, const std::string& text) const {
        Write(Dir() / name, text);
        return (Dir() / name).string();
    }

    // A build of this description into OUT.
    std::vector<std::string> Build(const std::string& description, const fs::path& out = {}) const {
        return Patchkit({"build", "--greedy", description, Release(), out.empty() ? Out() : out});
    }

    // Runs the command and checks the promise of a refusal; `watched` are the places that must stay as they
    // were besides the release folder, the description and OUTDIR. Returns the message.
    std::string ExpectRefused(const std::vector<std::string>& command,
                              const std::string& fragment,
                              std::vector<fs::path> watched = {}) const {
        watched.insert(watched.end(), {Release(), Description(), Out()});
        std::vector<std::map<std::string, std::string>> before;
        for (const fs::path& path : watched) {
            before.push_back(Snapshot(path));
        }
        const Outcome outcome = RunProgram(command, scratch_);
        const std::string name = command[command.size() > 1 && command[0] == "/bin/sh" ? 4 : 1];
        EXPECT_FALSE(outcome.TimedOut) << "still running after a minute: " << fragment;
        EXPECT_EQ(outcome.ExitCode, 1) << outcome.Errors;
        EXPECT_EQ(std::count(outcome.Errors.begin(), outcome.Errors.end(), '\n'), 1) << outcome.Errors;
        EXPECT_TRUE(outcome.Errors.ends_with("\n")) << outcome.Errors;
        EXPECT_EQ(outcome.Errors.rfind("patchkit " + name + ": ", 0), 0u) << outcome.Errors;
        EXPECT_NE(outcome.Errors.find(fragment), std::string::npos)
            << "want: " << fragment << "\ngot:  " << outcome.Errors;
        for (std::size_t i = 0; i < watched.size(); ++i) {
            EXPECT_TRUE(Snapshot(watched[i]) == before[i]) << watched[i] << " changed: " << fragment;
        }
        return outcome.Errors;
    }

    Outcome Succeeds(const std::vector<std::string>& command) const {
        Outcome outcome = RunProgram(command, scratch_);
        EXPECT_EQ(outcome.ExitCode, 0) << outcome.Errors;
        return outcome;
    }

  private:
    testing::TempDir dir_;
    fs::path scratch_;
};

// Issue class 1: one file described twice, its index written differently; compared as numbers.
TEST_F(Refusals, OneFileDescribedTwiceIsRefused) {
    const std::string twice = kDescription + "[File.010]\nVersions = [\"10/1/help.chm\"]\n";
    ExpectRefused(Build(Describe("twice.toml", twice)),
                  "twice.toml:11: File.010 describes file 10 again, as File.10 on line 6 does");
    std::string first = kDescription;
    first.insert(first.find("[File.10]"), "[File.010]\nVersions = [\"10/1/help.chm\"]\n");
    ExpectRefused(Build(Describe("first.toml", first)),
                  "first.toml:8: File.10 describes file 10 again, as File.010 on line 6 does");
    const std::string quoted = kDescription + "[File.\"10\"]\nVersions = [\"10/1/help.chm\"]\n";
    ExpectRefused(Build(Describe("quoted.toml", quoted)), "quoted.toml:11: ");
}

// Issue class 2: a version path that leaves the release folder, by "..", by a link, or from the root.
TEST_F(Refusals, PathsThatLeaveTheReleaseFolderAreRefused) {
    Write(Dir() / "outside.bin", Noise(3200, 3));
    const fs::path elsewhere = Dir() / "elsewhere";
    Write(elsewhere / "help.chm", Noise(3300, 4));
    fs::create_directory_symlink(elsewhere, Release() / "linked");
    fs::create_symlink("../../../outside.bin", Release() / "10/1/link.chm");
    const auto second = [&](const std::string& path) {
        std::string text = kDescription;
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

// Issue class 3: an output folder that is the release folder, holds it or the description, or lies inside
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
    Write(Dir() / "kept/patch.toml", kDescription);
    ExpectRefused(Build((Dir() / "kept/patch.toml").string(), Dir() / "kept"), "\" holds the description \"",
                  {Dir() / "kept"});
    fs::create_symlink(Description(), Out() / "linked.toml");
    ExpectRefused(Build((Out() / "linked.toml").string()), "\" holds the description \"");
    fs::remove(Out() / "linked.toml");
    ExpectRefused(Build(Description(), Release() / "10/1/help.chm"), "\" exists and is not a folder");
}

// Issue class 4: descriptions nested 50,000 levels deep in each way that TOML nests, or larger than 1 MiB,
// are refused before the TOML reader sees them (it would overflow its stack).
TEST_F(Refusals, DescriptionsTooDeepOrTooLargeAreRefusedBeforeTheyAreRead) {
    std::string key = "a";
    for (int i = 1; i < 50000; ++i) {
        key += ".a";
    }
    const std::string tooDeep = "tables, arrays and keys nest more than 32 levels deep here";
    ExpectRefused(Build(Describe("header.toml", kDescription + "[" + key + "]\n")), "header.toml:11: " + tooDeep);
    ExpectRefused(Build(Describe("key.toml", key + " = 1\n" + kDescription)), "key.toml:1: " + tooDeep);
    ExpectRefused(Build(Describe("arrays.toml", "a = " + std::string(50000, '[') + std::string(50000, ']') + "\n")),
                  tooDeep);
    std::string tables = "a = ";
    for (int i = 0; i < 25000; ++i) {
        tables += "{ a = ";
    }
    ExpectRefused(Build(Describe("tables.toml", tables + "1" + std::string(25000, '}') + "\n")), tooDeep);
    std::string large = kDescription + "#";
    large.resize((1 << 20) + 1, 'x');
    ExpectRefused(Build(Describe("large.toml", large)),
                  "large.toml: cannot be read (1048577 bytes, more than the 1048576 that a description may have)");
    ExpectRefused(Build(Describe("letter.toml", kDescription + "x\xD1\x9E = 1\n")),
                  "letter.toml:11: the byte 0xD1 stands outside a string and a comment");
}

// Issue class 5: a description that is no regular file is refused unread, without waiting on a FIFO or
// reading a device without end; `describe D D` would overwrite its own input.
TEST_F(Refusals, DescriptionsThatAreNoRegularFileAndOutputsOntoThemAreRefused) {
    const fs::path fifo = Dir() / "fifo.toml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ExpectRefused(Build(fifo.string()), "fifo.toml: cannot be read (not a regular file)");
    ExpectRefused(Build("/dev/zero"), "/dev/zero: cannot be read (not a regular file)");
    ExpectRefused(Build(Release().string()), "release: cannot be read (Is a directory)");

    ExpectRefused(Patchkit({"describe", Description(), Description()}), "\" is the description itself");
    fs::create_symlink(Description(), Dir() / "link.toml");
    fs::create_hard_link(Description(), Dir() / "hard.toml");
    ExpectRefused(Patchkit({"describe", Description(), (Dir() / "link.toml").string()}), "is the description itself");
    ExpectRefused(Patchkit({"describe", Description(), (Dir() / "hard.toml").string()}), "is the description itself");
    ExpectRefused(Patchkit({"describe", Description(), "/dev/full"}),
                  "cannot write \"/dev/full\" (not a regular file, and only one is replaced)");
}

// Issue class 6: names that a generated file would take as code. A description named with line breaks builds,
// its name escaped in every file's first comment; places that a resource script cannot name are refused.
TEST_F(Refusals, NamesThatWouldBecomeCodeAreEscapedOrRefused) {
    const std::string name = "x\nmessage(FATAL_ERROR injected)\nint injected = 1;\n#.toml";
    Succeeds(Build(Describe(name, kDescription), Dir() / "named"));
    const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    for (const char* file : {"BuildProfile.cpp", "ContentDigests.cpp", "PackedResources.rc", "Patch.cmake",
                             "SignatureTables.cpp", "VersionTables.cpp"}) {
        const std::string named = ReadText(Dir() / "named" / file);
        EXPECT_EQ(lines(named), lines(ReadText(Out() / file))) << file;
        const std::size_t firstLine = named.find('\n');
        EXPECT_NE(named.find("from x\\x0Amessage(FATAL_ERROR injected)\\x0Aint injected = 1;\\x0A#.toml; do not"),
                  std::string::npos)
            << file;
        EXPECT_EQ(named.find("injected", firstLine), std::string::npos) << file;
    }
    // CMake reads the generated names as they are meant.
    const Outcome cmake = Succeeds({"/usr/bin/cmake", "-P", (Dir() / "named/Patch.cmake").string()});
    EXPECT_EQ(cmake.Errors.find("injected"), std::string::npos) << cmake.Errors;

    ExpectRefused(Build(Description(), Dir() / "say\"cheese\""),
                  "the output folder \"" + (Dir() / "say\"cheese\"").string() +
                      "\" holds a double quote, which the resource script cannot name a file with");
    ExpectRefused(Build(Description(), Dir() / "two\nlines"), "two\\nlines\" holds a control character");
    ExpectRefused(Patchkit({"glyphs", (Dir() / "back\\slash").string()}), "holds a backslash");
    EXPECT_FALSE(fs::exists(Dir() / "say\"cheese\""));
    EXPECT_FALSE(fs::exists(Dir() / "back\\slash"));
}

// Issue class 7: outputs that would destroy inputs. `pack` and `unpack` refuse to write their input, and
// write through a file beside the output, so that a full disk leaves an existing output as it was.
TEST_F(Refusals, OutputsThatWouldDestroyTheirInputsAreRefused) {
    const fs::path input = Dir() / "input.bin";
    Write(input, Noise(200000, 5));
    fs::create_hard_link(input, Dir() / "same.bin");
    ExpectRefused(Patchkit({"pack", input, input}), "\" is the input \"", {input});
    ExpectRefused(Patchkit({"pack", "--greedy", input, Dir() / "same.bin"}), "\" is the input \"", {input});
    const fs::path packed = Dir() / "packed.bin";
    Succeeds(Patchkit({"pack", "--greedy", input, packed}));
    ExpectRefused(Patchkit({"unpack", packed, packed}), "\" is the input \"", {packed});

    const fs::path existing = Dir() / "existing.bin";
    Write(existing, std::string("an earlier output"));
    ExpectRefused(Patchkit({"pack", "--greedy", input, existing}, true),
                  "patchkit pack: cannot write \"" + existing.string() + "\" (File too large)\n", {input, existing});
    for (const auto& [path, what] : Snapshot(Dir())) {
        EXPECT_EQ(path.find(".new-"), std::string::npos) << path << " was left behind";
    }
}

// Issue class 8: messages name what the maintainer gave, shortened when long, a NUL or a line break in it
// shown as an escape; a failed write gives the system's reason and the output as given, no scratch name.
TEST_F(Refusals, MessagesNameWhatWasGivenOnOneLine) {
    std::string text = kDescription;
    text.replace(text.find("10/2/help.chm"), 13, "10/2/he\\u0000lp\\nchm");
    ExpectRefused(Build(Describe("nul.toml", text)),
                  "nul.toml:9: file 10 version 2: the path \"10/2/he\\x00lp\\nchm\" holds a control character");

    const std::string longPath = (Dir() / std::string(100000, 'a')).string() + ".toml";
    const std::string refusal = ExpectRefused(
        Build(longPath), "a.toml (" + std::to_string(longPath.size()) + " bytes): cannot be read (File name too long)");
    EXPECT_LT(refusal.size(), 400u) << refusal;

    text = kDescription;
    text.replace(text.find("10/2/help.chm"), 13, std::string(500000, 'b'));
    const std::string longValue =
        ExpectRefused(Build(Describe("long.toml", text)), "b (500000 bytes)\" cannot be read (File name too long)");
    EXPECT_LT(longValue.size(), 400u) << longValue;

    // A full disk while the output folder is written: the folder as given, the reason, nothing left over.
    Write(Release() / "10/2/help.chm", Noise(100000, 6));
    ExpectRefused(Patchkit({"build", "--greedy", Description(), Release(), Out()}, true),
                  "patchkit build: cannot write the folder \"" + Out().string() + "\" (File too large)\n");
    for (const auto& [path, what] : Snapshot(Dir())) {
        EXPECT_EQ(path.find(".out."), std::string::npos) << path << " was left behind";
    }
}

}  // namespace
}  // namespace patcher::patchkit

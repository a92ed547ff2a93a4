// patchkit.exe, the maintainers' tool on Windows, under Wine: it writes the very patchers that patchkit writes
// on Linux, takes Windows paths (long ones, with Polish letters) from its command line, and refuses what
// patchkit refuses, in one line of UTF-8 that names the description's line.
//
// Wine makes no junction (FSCTL_SET_REPARSE_POINT is not supported there) and no symbolic link of its own
// (CreateSymbolicLinkW does nothing): the links here are made on this side, and Windows programs see them as
// the reparse points that they lead through.
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/PatcherSession.h"
#include "tests/e2e/WinePrefix.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/TinyRelease.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A build packs a few megabytes at most, which takes seconds.
constexpr auto kBuildDeadline = 300s;

const fs::path& PatchkitExe() {
    static const fs::path exe = [] {
        const fs::path built = PATCHER_WINDOWS_PATCHKIT;
        if (!fs::exists(built)) {
            throw std::runtime_error(built.string() + " is missing: ./run build --tool makes it, stubs beside it");
        }
        return built;
    }();
    return exe;
}

// The target whose patchers the Windows build under test runs, and whose stub both tools write them from.
std::string Target() {
    return std::string(PATCHER_WINDOWS_PRESET) == "win32" ? "i686" : "x86_64";
}

std::string LastLine(const std::string& output) {
    const std::string text = output.ends_with('\n') ? output.substr(0, output.size() - 1) : output;
    return text.substr(text.rfind('\n') + 1);
}

// A refusal is one line on standard error, and nothing on standard output.
void ExpectOneLineRefusal(const ConsoleRun& run, const std::string& start) {
    EXPECT_EQ(run.ExitCode, 1) << run.Errors;
    EXPECT_EQ(run.Errors.rfind(start, 0), 0u) << run.Errors;
    EXPECT_EQ(std::count(run.Errors.begin(), run.Errors.end(), '\n'), 1) << run.Errors;
    EXPECT_TRUE(run.Errors.ends_with('\n')) << run.Errors;
    EXPECT_EQ(run.Output, "");
}

// Two patchers from one description and release, by patchkit on two hosts.
void ExpectSamePatcher(const fs::path& fromLinux, const fs::path& fromWindows) {
    const std::vector<std::uint8_t> linuxBytes = ReadBytes(fromLinux);
    ASSERT_FALSE(linuxBytes.empty()) << fromLinux;
    EXPECT_TRUE(linuxBytes == ReadBytes(fromWindows)) << fromLinux << " and " << fromWindows << " differ";
}

// What `inspect` reports of a patcher after the line that names it, by patchkit.exe and by this host's patchkit:
// the same report, line for line.
void ExpectSameInspection(WinePrefix& prefix, const fs::path& fromLinux, const fs::path& fromWindows) {
    const ConsoleRun windows =
        prefix.WineConsole(PatchkitExe(), {"inspect", prefix.WindowsPath(fromWindows)}, kBuildDeadline);
    ASSERT_EQ(windows.ExitCode, 0) << windows.Errors;
    testing::TempDir scratch;
    const fs::path linuxReport = scratch.Path() / "inspect.txt";
    ASSERT_EQ(RunProgram({PATCHER_HOST_PATCHKIT, "inspect", fromLinux.string()}, {}, linuxReport), 0)
        << testing::ReadText(linuxReport);
    const auto afterFirstLine = [](const std::string& text) { return text.substr(text.find('\n') + 1); };
    const std::string report = afterFirstLine(windows.Output);
    EXPECT_NE(report.find(": as its digest says"), std::string::npos) << windows.Output;
    EXPECT_EQ(report, afterFirstLine(testing::ReadText(linuxReport)));
}

struct TinyBuild {
    fs::path Description;
    fs::path Release;
};
TinyBuild WriteTinyBuild(const fs::path& folder, const std::string& descriptionName = "tiny.toml") {
    TinyBuild build{folder / descriptionName, folder / "release"};
    testing::WriteFile(build.Description, testing::kTinyDescription);
    testing::WriteTinyRelease(build.Release);
    return build;
}

ConsoleRun BuildOnWindows(WinePrefix& prefix, const TinyBuild& build, const fs::path& out) {
    return prefix.WineConsole(PatchkitExe(),
                              {"build", "--target", Target(), prefix.WindowsPath(build.Description),
                               prefix.WindowsPath(build.Release), prefix.WindowsPath(out)},
                              kBuildDeadline);
}

TEST(PatchkitExe, WritesTheEnglishAndTheGermanPatchersByteForByteAsOnLinux) {
    WinePrefix prefix;
    for (const std::string patch : {"VokarEn-1.5.3", "VokarDe-2.1"}) {
        // The Linux patchkit made these from the same stand-ins and the same stub (./run make_test_patchers).
        const fs::path fromLinux = PatcherExe(patch);
        const fs::path out = prefix.DriveC() / "Patches" / patch;
        const ConsoleRun run =
            prefix.WineConsole(PatchkitExe(),
                               {"build", "--target", Target(),
                                prefix.WindowsPath(fs::path(PATCHER_SOURCE_DIR) / "descriptions" / (patch + ".toml")),
                                prefix.WindowsPath(PATCHER_STANDIN_DIR), prefix.WindowsPath(out)},
                               kBuildDeadline);
        ASSERT_EQ(run.ExitCode, 0) << run.Errors;
        EXPECT_EQ(LastLine(run.Output), prefix.WindowsPath(out / fromLinux.filename()));
        ExpectSamePatcher(fromLinux, out / fromLinux.filename());
        ExpectSameInspection(prefix, fromLinux, out / fromLinux.filename());
    }
}

TEST(PatchkitExe, BuildsFromAndIntoPathsLongerThanMaxPathWithPolishLetters) {
    WinePrefix prefix;
    fs::path folder = prefix.DriveC() / "Wydania";
    for (int level = 0; level < 10; ++level) {
        folder /= "Słownik języka polskiego – część " + std::to_string(level);
    }
    const TinyBuild build = WriteTinyBuild(folder, "opis wydania – żółć.toml");
    const fs::path out = folder / "wyjście";
    const std::string windowsOut = prefix.WindowsPath(out);
    // Characters, not bytes: what MAX_PATH counts.
    const auto characters = std::count_if(windowsOut.begin(), windowsOut.end(),
                                          [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    ASSERT_GT(characters, 300);

    const ConsoleRun run = BuildOnWindows(prefix, build, out);
    ASSERT_EQ(run.ExitCode, 0) << run.Errors;

    // The same build by this host's patchkit, from the same stub.
    testing::TempDir linuxOut;
    const fs::path stub = fs::path(PATCHER_WINDOWS_PATCHKIT).parent_path() / ("patcher-stub-" + Target() + ".exe");
    ASSERT_EQ(RunProgram({PATCHER_HOST_PATCHKIT, "build", "--stub", stub.string(), build.Description.string(),
                          build.Release.string(), linuxOut.Path().string()},
                         {}, linuxOut.Path() / "build.log"),
              0)
        << testing::ReadText(linuxOut.Path() / "build.log");
    const std::vector<std::string> made = FileNames(out);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(LastLine(run.Output), prefix.WindowsPath(out / made[0])) << "printed in UTF-8, whole";
    ExpectSamePatcher(linuxOut.Path() / made[0], out / made[0]);
}

TEST(PatchkitExe, RefusesReleaseFilesThatALinkLeadsOutside) {
    WinePrefix prefix;
    const fs::path top = prefix.DriveC() / "Links";
    testing::WriteTinyRelease(top / "outside");

    // A build's file linked to a file outside, by the path the link gives.
    const TinyBuild fileLinked = WriteTinyBuild(top / "file-linked");
    fs::remove(fileLinked.Release / "10/2/help.chm");
    fs::create_symlink(top / "outside/10/2/help.chm", fileLinked.Release / "10/2/help.chm");
    ExpectOneLineRefusal(BuildOnWindows(prefix, fileLinked, top / "out"),
                         "patchkit build: " + prefix.WindowsPath(fileLinked.Description) +
                             ":9: file 10 version 2: \"10/2/help.chm\" cannot be read (a link on the way leads "
                             "outside the release folder, to " +
                             prefix.WindowsPath(top / "outside/10/2/help.chm") + ")");

    // A folder on the way linked outside, by a relative path.
    const TinyBuild folderLinked = WriteTinyBuild(top / "folder-linked");
    fs::remove_all(folderLinked.Release / "10");
    fs::create_directory_symlink("../../outside/10", folderLinked.Release / "10");
    ExpectOneLineRefusal(BuildOnWindows(prefix, folderLinked, top / "out"),
                         "patchkit build: " + prefix.WindowsPath(folderLinked.Description) +
                             ":8: file 10 version 1: \"10/1/help.chm\" cannot be read (a link on the way leads "
                             "outside the release folder");
    EXPECT_FALSE(fs::exists(top / "out"));

    // A link that stays inside the release is followed.
    const TinyBuild linkedInside = WriteTinyBuild(top / "linked-inside");
    fs::rename(linkedInside.Release / "10/2", linkedInside.Release / "second");
    fs::create_directory_symlink("../second", linkedInside.Release / "10/2");
    const ConsoleRun inside = BuildOnWindows(prefix, linkedInside, top / "out");
    EXPECT_EQ(inside.ExitCode, 0) << inside.Errors;
}

// A folder mounted read-only: Wine run as root writes into any folder whose write bits are off, as root may.
class ReadOnlyMount {
  public:
    explicit ReadOnlyMount(const fs::path& folder) : folder_(folder) {
        mounted_ = ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0;
        if (mounted_ && ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            ::umount2(folder_.c_str(), MNT_DETACH);
            mounted_ = false;
        }
    }
    ReadOnlyMount(const ReadOnlyMount&) = delete;
    ReadOnlyMount& operator=(const ReadOnlyMount&) = delete;
    ~ReadOnlyMount() {
        if (mounted_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return mounted_; }

  private:
    fs::path folder_;
    bool mounted_ = false;
};

TEST(PatchkitExe, RefusesAReadOnlyOutputFolderAndLeavesItAsItWas) {
    WinePrefix prefix;
    const TinyBuild build = WriteTinyBuild(prefix.DriveC() / "Tiny");
    const fs::path out = prefix.DriveC() / "Patches";
    testing::WriteFile(out / "Sl_ZewD-2.0-patch.exe", testing::Noise(100, 3));
    const ReadOnlyMount readOnly(out);
    if (!readOnly.Mounted()) {
        GTEST_SKIP() << "no read-only mount can be made here (it takes root)";
    }
    const ConsoleRun run = BuildOnWindows(prefix, build, out);
    ExpectOneLineRefusal(run, "patchkit build: cannot write \"" + prefix.WindowsPath(out) + "\\");
    EXPECT_EQ(FileNames(out), std::vector<std::string>{"Sl_ZewD-2.0-patch.exe"});
}

TEST(PatchkitExe, RefusesADescriptionThatIsNotUtf8NamingItsLine) {
    WinePrefix prefix;
    const fs::path folder = prefix.DriveC() / "Opisy";
    const TinyBuild build = WriteTinyBuild(folder, "opis – żółć.toml");
    // Line 5 in Windows-1250, as an editor set to it writes "Słownik".
    std::string text = testing::kTinyDescription;
    text.insert(text.find("SelectedFiles"), "UpdateTitle = [\"S\xB3ownik\", \"Dictionary\"]\n");
    testing::WriteFile(build.Description, text);
    ExpectOneLineRefusal(BuildOnWindows(prefix, build, folder / "out"),
                         "patchkit build: " + prefix.WindowsPath(build.Description) + ":5: ");
    EXPECT_FALSE(fs::exists(folder / "out"));
}

// The trial on Windows: patchkit.exe starts the patcher itself, with /DIR= naming a product folder below the
// temporary folder, and prints the table that the trial under Wine on Linux prints; the folder goes afterwards.
TEST(PatchkitExe, TriesTheEnglishPatcherOnEveryOlderBuildAndLeavesNoFolderBehind) {
    WinePrefix prefix;
    const ConsoleRun run = prefix.WineConsole(
        PatchkitExe(), {"trial", prefix.WindowsPath(PatcherExe()), prefix.WindowsPath(PATCHER_STANDIN_DIR)},
        kBuildDeadline);
    EXPECT_EQ(run.ExitCode, 0) << run.Output << run.Errors;
    std::vector<std::string> lines;
    std::istringstream printed(run.Output);
    for (std::string line; std::getline(printed, line);) {
        lines.push_back(line);
    }
    ASSERT_FALSE(lines.empty()) << run.Errors;
    for (int build = 1; build <= 10; ++build) {
        // The file, its build, /CHECK's and /S's exit codes, the release's file, and what came of it.
        const std::regex row("VokarEn\\.exe +" + std::to_string(build) + " +5 +0 +[0-9]+/" + std::to_string(build) +
                             "/VokarEn\\.exe +newest");
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [&](const std::string& line) { return std::regex_match(line, row); }))
            << build << "\n"
            << run.Output;
    }
    EXPECT_EQ(lines.back(), "trial: 10 of 10 cases ended newest") << run.Output;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(prefix.DriveC() / "users")) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("patchkit-trial-")) << entry.path();
    }
}

}  // namespace
}  // namespace patcher::e2e

// patchkit as a maintainer meets it: the trial of a finished patcher under Wine over the stand-in release, on a
// patcher that passes and on one that does not; and patchkit installed alone, with no compiler on its PATH,
// making a patcher that runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/e2e/PatcherSession.h"
#include "tests/e2e/WinePrefix.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tools/pe/PeReader.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;

struct Printed {
    int ExitCode = 0;
    std::vector<std::string> Lines;
    std::string Text;  // for failure messages

    bool Holds(const std::string& pattern) const {
        const std::regex wanted(pattern);
        for (const std::string& line : Lines) {
            if (std::regex_match(line, wanted)) {
                return true;
            }
        }
        return false;
    }
};

// Runs a host program with its output in a file of `scratch`; `environment` as RunProgram takes it.
Printed RunHostProgram(const std::vector<std::string>& command,
                       const std::map<std::string, std::string>& environment,
                       const fs::path& scratch) {
    const fs::path log = scratch / "output.txt";
    fs::remove(log);
    Printed printed;
    printed.ExitCode = RunProgram(command, environment, log, std::chrono::minutes(4));
    printed.Text = testing::ReadText(log);
    std::istringstream lines(printed.Text);
    for (std::string line; std::getline(lines, line);) {
        printed.Lines.push_back(line);
    }
    return printed;
}

// The trial by this build's patchkit, with the record writer of the Windows build under test and a copy of the
// scenarios' prefix template, its scratch folder in `scratch`.
Printed Trial(const fs::path& patcher, const fs::path& scratch) {
    fs::create_directories(scratch / "tmp");
    return RunHostProgram({PATCHER_HOST_PATCHKIT, "trial", "--record-writer", Programs().RecordWriter.string(),
                           "--wine-template", PrefixTemplate().string(), patcher.string(), PATCHER_STANDIN_DIR},
                          {{"TMPDIR", (scratch / "tmp").string()}}, scratch);
}

// A program as this process's PATH finds it.
fs::path OnPath(const std::string& name) {
    std::istringstream folders(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && ::access((fs::path(folder) / name).c_str(), X_OK) == 0) {
            return fs::path(folder) / name;
        }
    }
    throw std::runtime_error(name + " is not on the PATH");
}

// One line of the table: the file, its build, the two exit codes, the release's file and what came of it.
std::string Row(const std::string& file, int build, const std::string& codes, const std::string& after) {
    return file + " +" + std::to_string(build) + " +" + codes + " +[0-9]+/" + std::to_string(build) + "/" + file +
           " +" + after;
}

TEST(PatcherTrial, EveryOlderBuildOfTheEnglishEditionEndsNewestAndThePrefixGoes) {
    testing::TempDir scratch;
    const Printed printed = Trial(PatcherExe(), scratch.Path());
    EXPECT_EQ(printed.ExitCode, 0) << printed.Text;
    for (int build = 1; build <= 10; ++build) {
        EXPECT_TRUE(printed.Holds(Row("VokarEn\\.exe", build, "5 +0", "newest"))) << build << "\n" << printed.Text;
    }
    EXPECT_EQ(printed.Lines.back(), "trial: 10 of 10 cases ended newest") << printed.Text;
    // The throwaway prefix is gone, its server with it.
    EXPECT_TRUE(fs::is_empty(scratch.Path() / "tmp"));
}

// The German patcher with the packed data of DeInstalator.exe damaged after it was made: its tables are sound,
// so the trial reads them, and every case passes but the one that must unpack those data.
TEST(PatcherTrial, ACaseWhoseUpdateFailsFailsTheTrialAndShowsThePatchersLog) {
    testing::TempDir scratch;
    const fs::path damaged = scratch.Path() / PatcherExe("VokarDe-2.1").filename();
    std::vector<std::uint8_t> exe = testing::ReadBytes(PatcherExe("VokarDe-2.1"));
    {
        const pe::PeReader reader(exe);
        const std::span<const std::uint8_t> packed = reader.FirstResource(10, pe::ResourceId::Named(u"PVOKARDE2DI"));
        ASSERT_GT(packed.size(), 100U);
        const std::size_t middle = static_cast<std::size_t>(packed.data() - exe.data()) + packed.size() / 2;
        for (std::size_t i = middle; i < middle + 16; ++i) {
            exe[i] ^= 0x5A;
        }
    }
    testing::WriteFile(damaged, exe);

    const Printed printed = Trial(damaged, scratch.Path());
    EXPECT_EQ(printed.ExitCode, 1) << printed.Text;
    EXPECT_TRUE(printed.Holds(Row("DeInstalator\\.exe", 1, "5 +6", "NOT newest: build 1; the others newest")))
        << printed.Text;
    for (int build = 1; build <= 2; ++build) {
        EXPECT_TRUE(printed.Holds(Row("VokarDe\\.exe", build, "5 +0", "newest; the others newest"))) << build << "\n"
                                                                                                     << printed.Text;
    }
    EXPECT_TRUE(printed.Holds(Row("VkIntDe\\.exe", 1, "5 +0", "newest; the others newest"))) << printed.Text;
    EXPECT_TRUE(printed.Holds("    .* exit code 6")) << printed.Text;
    EXPECT_EQ(printed.Lines.back(), "trial: 3 of 4 cases ended newest") << printed.Text;
}

// `cmake --install` of the host tools, and the installed patchkit alone on a PATH without a compiler: it writes
// the French patcher from its installed stub (the very exe that the build tree's patchkit wrote), and its trial
// finds its installed record writer and runs that patcher under Wine.
TEST(InstalledPatchkit, MakesAPatcherThatRunsWithoutACompiler) {
    testing::TempDir scratch;
    const fs::path prefix = scratch.Path() / "prefix";
    ASSERT_EQ(RunProgram({"cmake", "--install", PATCHER_HOST_TOOLS_DIR, "--prefix", prefix.string()}, {},
                         scratch.Path() / "install.txt"),
              0)
        << testing::ReadText(scratch.Path() / "install.txt");
    for (const char* shipped :
         {"patcher-stub-i686.exe", "patcher-stub-x86_64.exe", "patcher-record-i686.exe", "patcher-record-x86_64.exe"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix / "lib" / "patchkit" / shipped)) << shipped;
    }

    // A PATH of the installed patchkit and Wine alone, in an environment of nothing else.
    const fs::path tools = scratch.Path() / "tools";
    fs::create_directories(tools);
    for (const char* program : {"wine", "wineserver"}) {
        fs::create_symlink(OnPath(program), tools / program);
    }
    std::vector<std::string> command = {"env", "-i", "PATH=" + (prefix / "bin").string() + ":" + tools.string(),
                                        "HOME=" + scratch.Path().string(), "TMPDIR=" + scratch.Path().string()};
    if (const char* loader = std::getenv("WINELOADER"); loader != nullptr && *loader != '\0') {
        command.push_back(std::string("WINELOADER=") + loader);
    }
    command.push_back("patchkit");

    const std::string target = std::string(PATCHER_WINDOWS_PRESET) == "win64" ? "x86_64" : "i686";
    std::vector<std::string> build = command;
    build.insert(build.end(), {"build", "--target", target, PATCHER_SOURCE_DIR "/tests/e2e/VokarFr-1.1.toml",
                               PATCHER_STANDIN_DIR, (scratch.Path() / "out").string()});
    const Printed built = RunHostProgram(build, {}, scratch.Path());
    ASSERT_EQ(built.ExitCode, 0) << built.Text;
    const fs::path exe = scratch.Path() / "out" / "VokarFr-1.1-patch.exe";
    EXPECT_EQ(built.Lines.back(), exe.string());
    EXPECT_TRUE(testing::ReadBytes(exe) == testing::ReadBytes(PatcherExe("VokarFr-1.1")));

    std::vector<std::string> trial = command;
    trial.insert(trial.end(),
                 {"trial", "--wine-template", PrefixTemplate().string(), exe.string(), PATCHER_STANDIN_DIR});
    const Printed tried = RunHostProgram(trial, {}, scratch.Path());
    EXPECT_EQ(tried.ExitCode, 0) << tried.Text;
    EXPECT_TRUE(tried.Holds(Row("VokarFr\\.exe", 1, "5 +0", "newest"))) << tried.Text;
    EXPECT_EQ(tried.Lines.back(), "trial: 1 of 1 case ended newest") << tried.Text;
}

}  // namespace
}  // namespace patcher::e2e

// A patcher's trial with its host faked: which cases the tables and a release give, what each case installs, the
// line that each case prints and when the trial counts as passed; and how a release folder of any layout is
// surveyed for the builds of the selected files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "profile/ProductProfile.h"
#include "tables/Crc32.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tools/patchkit/ReleaseSurvey.h"
#include "tools/patchkit/Trial.h"
#include "tools/patchkit/TrialPlan.h"
#include "tools/pe/PeReader.h"

extern char** environ;

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Noise;

// A family of three selected files as the German edition's: VokarDe.exe (8) in builds 1 to 3, VokarD.chm (9)
// whose one build the patcher creates where it is missing, DeInstalator.exe (11) in builds 1 and 2; and
// VokarEn.exe (1), which is not selected.
constexpr int kMain = 8;
constexpr int kHelp = 9;
constexpr int kUninstaller = 11;
constexpr int kUnselected = 1;

Bytes Build(int fileIndex, int number) {
    return Noise(static_cast<std::size_t>(1000 + 100 * fileIndex + 10 * number),
                 static_cast<std::uint32_t>(100 * fileIndex + number));
}

// The tables that know a build as its size and the bytes at its first 50 offsets.
KnownVersion Known(int number, const Bytes& bytes) {
    KnownVersion version{number, static_cast<std::int32_t>(bytes.size()), {}};
    for (int i = 0; i < kSignatureEntries; ++i) {
        version.Samples[static_cast<std::size_t>(i)] = {i, bytes[static_cast<std::size_t>(i)]};
    }
    return version;
}

PatchTables FamilyTables() {
    PatchTables tables;
    tables.ProductIndex = 4;
    tables.ProductKind = 6;
    tables.UpdateVersion = "2.1";
    const std::map<int, int> newest = {{kMain, 3}, {kHelp, 1}, {kUninstaller, 2}, {kUnselected, 2}};
    for (const auto& [fileIndex, last] : newest) {
        FileTables& file = tables.Files[static_cast<std::size_t>(fileIndex - 1)];
        for (int number = 1; number <= last; ++number) {
            file.Versions.push_back(Known(number, Build(fileIndex, number)));
        }
        file.Newest = last;
        file.NewContent = {static_cast<std::int32_t>(Build(fileIndex, last).size()), Crc32(Build(fileIndex, last))};
        if (fileIndex != kUnselected) {
            tables.SelectedFiles[static_cast<std::size_t>(fileIndex / 8)] |=
                static_cast<std::uint8_t>(1 << (fileIndex % 8));
        }
    }
    return tables;
}

ReleaseBuild Found(int fileIndex, int number, std::string path, Bytes bytes = {}) {
    return {fileIndex, number, std::move(path), bytes.empty() ? Build(fileIndex, number) : std::move(bytes)};
}

// Every build of the family, in path order as a survey gives them.
std::vector<ReleaseBuild> WholeRelease() {
    return {Found(kUnselected, 1, "1/1/VokarEn.exe"),
            Found(kUnselected, 2, "1/2/VokarEn.exe"),
            Found(kUninstaller, 1, "11/1/DeInstalator.exe"),
            Found(kUninstaller, 2, "11/2/DeInstalator.exe"),
            Found(kMain, 1, "8/1/VokarDe.exe"),
            Found(kMain, 2, "8/2/VokarDe.exe"),
            Found(kMain, 3, "8/3/VokarDe.exe"),
            Found(kHelp, 1, "9/1/VokarD.chm")};
}

// What a case installs, as "file:path" or "file:absent" in index order.
std::vector<std::string> Layout(const TrialCase& trialCase) {
    std::vector<std::string> layout;
    for (const CaseFile& file : trialCase.Files) {
        layout.push_back(std::to_string(file.FileIndex) + ":" + (file.Build ? file.Build->Path : "absent"));
    }
    return layout;
}

TEST(TrialPlan, EachOlderBuildIsACaseWithTheOtherFilesAtTheirNewestOrAbsentWhereThePatcherCreatesThem) {
    const PatchTables tables = FamilyTables();
    const std::vector<ReleaseBuild> release = WholeRelease();
    const TrialPlan plan = PlanTrial(tables, release);

    EXPECT_EQ(plan.Selected, (std::vector<int>{kMain, kHelp, kUninstaller}));
    ASSERT_EQ(plan.Newest.size(), 3U);
    EXPECT_EQ(plan.Newest[0]->Path, "8/3/VokarDe.exe");
    EXPECT_EQ(plan.Newest[1]->Path, "9/1/VokarD.chm");
    EXPECT_EQ(plan.Newest[2]->Path, "11/2/DeInstalator.exe");
    ASSERT_EQ(plan.Cases.size(), 3U);
    EXPECT_EQ(Layout(plan.Cases[0]),
              (std::vector<std::string>{"8:8/1/VokarDe.exe", "9:absent", "11:11/2/DeInstalator.exe"}));
    EXPECT_EQ(Layout(plan.Cases[1]),
              (std::vector<std::string>{"8:8/2/VokarDe.exe", "9:absent", "11:11/2/DeInstalator.exe"}));
    EXPECT_EQ(Layout(plan.Cases[2]),
              (std::vector<std::string>{"8:8/3/VokarDe.exe", "9:absent", "11:11/1/DeInstalator.exe"}));
    EXPECT_EQ(plan.Cases[2].Tried->Path, "11/1/DeInstalator.exe");
    EXPECT_TRUE(plan.Untried.empty());
    EXPECT_TRUE(plan.Mismatched.empty());
    EXPECT_TRUE(CreatesWhenMissing(tables, kHelp));
    EXPECT_FALSE(CreatesWhenMissing(tables, kUninstaller));
}

TEST(TrialPlan, AKnownBuildThatTheReleaseLacksIsNotTried) {
    std::vector<ReleaseBuild> release = WholeRelease();
    std::erase_if(release, [](const ReleaseBuild& build) { return build.Path == "8/2/VokarDe.exe"; });
    const TrialPlan plan = PlanTrial(FamilyTables(), release);
    ASSERT_EQ(plan.Untried.size(), 1U);
    EXPECT_EQ(plan.Untried[0].FileIndex, kMain);
    EXPECT_EQ(plan.Untried[0].Build, 2);
    ASSERT_EQ(plan.Cases.size(), 2U);
    EXPECT_EQ(plan.Cases[0].Tried->Path, "8/1/VokarDe.exe");
    EXPECT_EQ(plan.Cases[1].Tried->Path, "11/1/DeInstalator.exe");
}

// Build 1 found three times: twice the same bytes, once other bytes with its size and samples.
TEST(TrialPlan, EachContentOfABuildIsTriedOnceUnderItsFirstPath) {
    Bytes other = Build(kMain, 1);
    other[kSignatureEntries + 7] ^= 0xFF;
    std::vector<ReleaseBuild> release = WholeRelease();
    release.push_back(Found(kMain, 1, "a/VokarDe.exe"));
    release.push_back(Found(kMain, 1, "b/VokarDe.exe", other));
    release.push_back(Found(kMain, 1, "c/VokarDe.exe"));
    const TrialPlan plan = PlanTrial(FamilyTables(), release);
    std::vector<std::string> tried;
    for (const TrialCase& trialCase : plan.Cases) {
        tried.push_back(trialCase.Tried->Path);
    }
    EXPECT_EQ(tried, (std::vector<std::string>{"8/1/VokarDe.exe", "b/VokarDe.exe", "8/2/VokarDe.exe",
                                               "11/1/DeInstalator.exe"}));
}

// A file with the size and samples of the newest build whose bytes are not those the patcher brings (its
// digest) is no newest build: the cases install the one that is, and the other is named.
TEST(TrialPlan, TheNewestBuildIsTheOneThatThePatcherBrings) {
    Bytes impostor = Build(kMain, 3);
    impostor.back() ^= 0x01;
    std::vector<ReleaseBuild> release = WholeRelease();
    release.insert(release.begin(), Found(kMain, 3, "0/VokarDe.exe", impostor));
    const TrialPlan plan = PlanTrial(FamilyTables(), release);
    EXPECT_EQ(plan.Newest[0]->Path, "8/3/VokarDe.exe");
    ASSERT_EQ(plan.Mismatched.size(), 1U);
    EXPECT_EQ(plan.Mismatched[0]->Path, "0/VokarDe.exe");
    EXPECT_EQ(Layout(plan.Cases[2])[0], "8:8/3/VokarDe.exe");

    std::erase_if(release, [](const ReleaseBuild& build) { return build.Path == "8/3/VokarDe.exe"; });
    try {
        PlanTrial(FamilyTables(), release);
        ADD_FAILURE() << "planned without the newest build";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the release holds no VokarDe.exe of build 3 as this patcher brings it, so no case can be installed "
                  "or checked");
    }
}

// ---------------------------------------------------------------- the cases run on a faked host

// A product folder in memory and a patcher that updates it as told: /CHECK answers `check`, /S makes every
// selected file its newest build, except where `leave` holds a file, which it leaves as it is, and answers
// `silent`.
class FakeHost final : public TrialHost {
  public:
    explicit FakeHost(const std::vector<ReleaseBuild>& release) {
        for (const ReleaseBuild& build : release) {
            if (build.Build == FamilyTables().NewestVersion(build.FileIndex)) {
                newest_[std::string(FileName(build.FileIndex))] = build.Bytes;
            }
        }
    }

    void Prepare(const PatchTables& tables) override {
        ++prepared_;
        EXPECT_EQ(tables.ProductIndex, 4);
    }
    void Install(const std::vector<File>& files) override {
        EXPECT_EQ(prepared_, 1) << "installed before the place was prepared";
        folder_.clear();
        std::set<std::string> names;
        for (const File& file : files) {
            folder_[file.Name] = Bytes(file.Bytes.begin(), file.Bytes.end());
            names.insert(file.Name);
        }
        installs_.push_back(names);
        log_.clear();
    }
    int RunPatcher(const std::vector<std::string>& options) override {
        runs_.push_back(options);
        log_ += "ran " + options.front() + "\r\n";
        if (options == std::vector<std::string>{"/CHECK"}) {
            return check;
        }
        for (const auto& [name, bytes] : newest_) {
            if (!leave.contains(name)) {
                folder_[name] = bytes;
            }
        }
        return silent;
    }
    std::optional<Bytes> ReadBack(const std::string& name) override {
        const auto found = folder_.find(name);
        return found == folder_.end() ? std::nullopt : std::optional<Bytes>(found->second);
    }
    std::string Log() override { return log_; }

    int check = 5;
    int silent = 0;
    std::set<std::string> leave;

    std::vector<std::set<std::string>> installs_;
    std::vector<std::vector<std::string>> runs_;

  private:
    int prepared_ = 0;
    std::map<std::string, Bytes> newest_;
    std::map<std::string, Bytes> folder_;
    std::string log_;
};

struct Printed {
    bool Passed = false;
    std::vector<std::string> Lines;
};

Printed TryCases(const std::vector<ReleaseBuild>& release, FakeHost& host) {
    Printed printed;
    const PatchTables tables = FamilyTables();
    const TrialPlan plan = PlanTrial(tables, release);
    printed.Passed = RunTrialCases(tables, plan, host, [&](const std::string& line) { printed.Lines.push_back(line); });
    return printed;
}

TEST(TrialCases, EachCaseIsInstalledCheckedUpdatedAndPrintedAsOneLine) {
    const std::vector<ReleaseBuild> release = WholeRelease();
    FakeHost host(release);
    const Printed printed = TryCases(release, host);
    EXPECT_TRUE(printed.Passed);
    EXPECT_EQ(printed.Lines,
              (std::vector<std::string>{
                  "file              build  /CHECK  /S  release file           after",
                  "VokarDe.exe           1       5   0  8/1/VokarDe.exe        newest; the others newest",
                  "VokarDe.exe           2       5   0  8/2/VokarDe.exe        newest; the others newest",
                  "DeInstalator.exe      1       5   0  11/1/DeInstalator.exe  newest; the others newest",
                  "trial: 3 of 3 cases ended newest",
              }));
    // The help file that the patcher creates is not installed.
    const std::set<std::string> installed = {"VokarDe.exe", "DeInstalator.exe"};
    EXPECT_EQ(host.installs_, (std::vector<std::set<std::string>>{installed, installed, installed}));
    const std::vector<std::string> check = {"/CHECK"};
    const std::vector<std::string> silent = {"/S"};
    EXPECT_EQ(host.runs_, (std::vector<std::vector<std::string>>{check, silent, check, silent, check, silent}));
}

TEST(TrialCases, AFileLeftOutOfDateFailsItsCaseAndTheTrialAndThePatchersLogIsShown) {
    std::vector<ReleaseBuild> release = WholeRelease();
    std::erase_if(release, [](const ReleaseBuild& build) { return build.Path == "8/2/VokarDe.exe"; });
    FakeHost host(release);
    host.leave = {"DeInstalator.exe"};
    host.silent = 6;
    const Printed printed = TryCases(release, host);
    EXPECT_FALSE(printed.Passed);
    EXPECT_EQ(printed.Lines,
              (std::vector<std::string>{
                  "file              build  /CHECK  /S  release file           after",
                  "VokarDe.exe           1       5   6  8/1/VokarDe.exe        newest; the others newest",
                  "    ran /CHECK",
                  "    ran /S",
                  "DeInstalator.exe      1       5   6  11/1/DeInstalator.exe  NOT newest: build 1; the others newest",
                  "    ran /CHECK",
                  "    ran /S",
                  "VokarDe.exe           2       -   -  -                      not tried: the release holds no file "
                  "of this build",
                  "trial: 0 of 2 cases ended newest; 1 known build not tried",
              }));
}

TEST(TrialCases, TheOtherFilesAndTheCheckCountToo) {
    const std::vector<ReleaseBuild> release = WholeRelease();
    FakeHost host(release);
    host.leave = {"VokarD.chm"};
    host.check = 0;
    const Printed printed = TryCases(release, host);
    EXPECT_FALSE(printed.Passed);
    ASSERT_GE(printed.Lines.size(), 3U);
    EXPECT_EQ(printed.Lines[1],
              "VokarDe.exe           1       0   0  8/1/VokarDe.exe        newest; NOT newest: "
              "VokarD.chm absent");
    EXPECT_EQ(printed.Lines.back(), "trial: 0 of 3 cases ended newest");

    // A patcher that hangs is stopped by the host, and its exit code shows as none.
    FakeHost hanging(release);
    hanging.check = TrialHost::kDidNotEnd;
    const Printed stopped = TryCases(release, hanging);
    EXPECT_FALSE(stopped.Passed);
    EXPECT_EQ(stopped.Lines[1],
              "VokarDe.exe           1      --   0  8/1/VokarDe.exe        newest; the others newest");
}

// A release that holds the newest builds alone has nothing to try: that is no success.
TEST(TrialCases, NothingTriedIsNoSuccess) {
    const std::vector<ReleaseBuild> release = {Found(kMain, 3, "VokarDe.exe"), Found(kHelp, 1, "VokarD.chm"),
                                               Found(kUninstaller, 2, "DeInstalator.exe")};
    FakeHost host(release);
    const Printed printed = TryCases(release, host);
    EXPECT_FALSE(printed.Passed);
    EXPECT_EQ(printed.Lines.back(), "trial: no case to try; 3 known builds not tried");
    EXPECT_TRUE(host.runs_.empty());
}

// ---------------------------------------------------------------- the release folder surveyed

TEST(ReleaseSurvey, FindsTheBuildsOfTheSelectedFilesInAnyLayoutByTheirContent) {
    testing::TempDir dir;
    const fs::path release = dir.Path() / "release";
    Bytes unknown = Build(kMain, 2);
    unknown[3] ^= 0xFF;
    testing::WriteFile(release / "VokarDe.exe", unknown);  // the size of build 2, not its samples
    testing::WriteFile(release / "new" / "VokarDe.exe", Build(kMain, 3));
    testing::WriteFile(release / "old" / "first" / "VOKARDE.EXE", Build(kMain, 1));
    testing::WriteFile(release / "old" / "DeInstalator.exe", Build(kUninstaller, 1));
    testing::WriteFile(release / "old" / "VokarEn.exe", Build(kUnselected, 1));  // not selected
    testing::WriteFile(release / "old" / "copy.exe", Build(kMain, 2));           // not named as any
    testing::WriteFile(release / "big" / "VokarD.chm", Noise(50'000, 1));        // no build is that large
    testing::WriteFile(dir.Path() / "outside" / "VokarDe.exe", Build(kMain, 2));
    fs::create_directories(release / "link");
    fs::create_symlink(dir.Path() / "outside" / "VokarDe.exe", release / "link" / "VokarDe.exe");
    ASSERT_EQ(::mkfifo((release / "old" / "VokarD.chm").c_str(), 0600), 0);

    const ReleaseSurvey survey = SurveyRelease(release, FamilyTables());
    std::vector<std::string> found;
    for (const ReleaseBuild& build : survey.Builds) {
        found.push_back(build.Path + " " + std::to_string(build.FileIndex) + "/" + std::to_string(build.Build));
        EXPECT_TRUE(build.Bytes == Build(build.FileIndex, build.Build)) << build.Path;
    }
    EXPECT_EQ(found, (std::vector<std::string>{"new/VokarDe.exe 8/3", "old/DeInstalator.exe 11/1",
                                               "old/first/VOKARDE.EXE 8/1"}));
    EXPECT_EQ(survey.Unrecognised, 2);
    ASSERT_EQ(survey.LeftOut.size(), 2U);
    EXPECT_TRUE(survey.LeftOut[0].starts_with("link/VokarDe.exe cannot be read (a link on the way leads outside"))
        << survey.LeftOut[0];
    EXPECT_EQ(survey.LeftOut[1], "old/VokarD.chm cannot be read (not a regular file)");
}

// ---------------------------------------------------------------- the command

// The build's English patcher with one byte of its tables' resource changed: the last letter of the resource's
// name, or one inside its data.
std::vector<std::uint8_t> ChangedPatcher(bool inTheName) {
    std::vector<std::uint8_t> exe = testing::ReadBytes(PATCHER_BUILD_PATCHER);
    const pe::PeReader reader(exe);
    const std::span<const std::uint8_t> tables = reader.FirstResource(10, pe::ResourceId::Named(u"PATCHTABLES"));
    EXPECT_FALSE(tables.empty());
    std::size_t at = static_cast<std::size_t>(tables.data() - exe.data()) + tables.size() / 2;
    if (inTheName) {
        // The name's last letter, in UTF-16 within the resource directory: PATCHTABLEZ sorts where PATCHTABLES did.
        const std::u16string name = u"PATCHTABLES";
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
        const auto found = std::search(exe.begin(), exe.end(), bytes, bytes + 2 * name.size());
        EXPECT_NE(found, exe.end());
        at = static_cast<std::size_t>(found - exe.begin()) + 2 * (name.size() - 1);
        exe[at] = 'Z';
        return exe;
    }
    exe[at] ^= 0x40;
    return exe;
}

// patchkit with these arguments, waited for: its exit code, and what it printed on standard output and error.
struct Outcome {
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

Outcome RunPatchkit(std::vector<std::string> arguments, const fs::path& scratch) {
    arguments.insert(arguments.begin(), PATCHER_HOST_PATCHKIT);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const fs::path output = scratch / "stdout.txt";
    const fs::path errors = scratch / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    Outcome outcome;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.Output = testing::ReadText(output);
    outcome.Errors = testing::ReadText(errors);
    return outcome;
}

// Only a patcher is tried: a file that is no program, a program without tables and a patcher whose tables are
// damaged are each refused in one line, before any Wine starts.
TEST(TrialCommand, WhatIsNoPatcherIsRefusedInOneLine) {
    testing::TempDir dir;
    const fs::path scratch = dir.Path() / "scratch";
    fs::create_directories(scratch);
    fs::create_directories(dir.Path() / "release");
    testing::WriteFile(dir.Path() / "notes.exe", "these are notes, not a program\n");
    testing::WriteFile(dir.Path() / "untabled.exe", ChangedPatcher(true));
    testing::WriteFile(dir.Path() / "damaged.exe", ChangedPatcher(false));
    const auto refusal = [&](const std::string& name) {
        const Outcome outcome =
            RunPatchkit({"trial", (dir.Path() / name).string(), (dir.Path() / "release").string()}, scratch);
        EXPECT_EQ(outcome.ExitCode, 1) << name;
        EXPECT_EQ(outcome.Output, "") << name;
        return outcome.Errors;
    };
    const std::string quoted = "\"" + dir.Path().string();
    EXPECT_EQ(refusal("notes.exe"),
              "patchkit trial: " + quoted + "/notes.exe\" is no patcher: not a well-formed PE file: no MZ header\n");
    EXPECT_EQ(refusal("untabled.exe"), "patchkit trial: " + quoted +
                                           "/untabled.exe\" is no patcher: it carries no patch tables (no data "
                                           "resource PATCHTABLES)\n");
    const std::string damaged = refusal("damaged.exe");
    EXPECT_TRUE(damaged.starts_with("patchkit trial: " + quoted +
                                    "/damaged.exe\" is no patcher: the patch tables are "
                                    "damaged: "))
        << damaged;
    EXPECT_EQ(std::count(damaged.begin(), damaged.end(), '\n'), 1) << damaged;
}

}  // namespace
}  // namespace patcher::patchkit

#include "tools/patchkit/Trial.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sstream>

#include "app/ExitCodes.h"
#include "profile/ProductProfile.h"
#include "tools/patchkit/BytesRecognition.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

// What one selected file is once the patcher has run.
struct FileAfter {
    int FileIndex = 0;
    bool Newest = false;
    std::string State;  // "newest", "absent", "build 3", ...
};

struct CaseOutcome {
    int CheckCode = 0;
    int SilentCode = 0;
    std::vector<FileAfter> Files;

    bool Passed() const {
        return CheckCode == kExitUpdateNeeded && SilentCode == kExitAllCurrent &&
               std::all_of(Files.begin(), Files.end(), [](const FileAfter& file) { return file.Newest; });
    }
};

std::string NameOf(int fileIndex) {
    return std::string(FileName(fileIndex));
}

FileAfter Assess(const PatchTables& tables,
                 int fileIndex,
                 const ReleaseBuild& newest,
                 const std::optional<std::vector<std::uint8_t>>& bytes) {
    FileAfter after{fileIndex, false, ""};
    if (!bytes) {
        after.State = "absent";
    } else if (*bytes == newest.Bytes) {
        after.Newest = true;
        after.State = "newest";
    } else {
        const Recognition recognition = RecogniseBytes(tables, fileIndex, *bytes);
        after.State = recognition.Result == CheckResult::Current     ? "other bytes than its newest build"
                      : recognition.Result == CheckResult::OutOfDate ? "build " + std::to_string(recognition.Version)
                                                                     : "a build that the patcher does not know";
    }
    return after;
}

// The "after" column: the file tried, then the others.
std::string AfterText(const TrialCase& trialCase, const CaseOutcome& outcome) {
    std::string text;
    std::vector<std::string> others;
    for (const FileAfter& file : outcome.Files) {
        if (file.FileIndex == trialCase.Tried->FileIndex) {
            text = file.Newest ? "newest" : "NOT newest: " + file.State;
        } else if (!file.Newest) {
            others.push_back(NameOf(file.FileIndex) + " " + file.State);
        }
    }
    if (outcome.Files.size() > 1) {
        text += others.empty() ? "; the others newest" : "; NOT newest: ";
    }
    for (std::size_t i = 0; i < others.size(); ++i) {
        text += (i == 0 ? "" : ", ") + others[i];
    }
    return text;
}

std::string Code(int exitCode) {
    return exitCode == TrialHost::kDidNotEnd ? "--" : std::to_string(exitCode);
}

// The table's columns: the file, its build, the two exit codes, the release's file and what came of it.
class TableLines {
  public:
    explicit TableLines(const TrialPlan& plan) {
        for (const TrialCase& trialCase : plan.Cases) {
            pathWidth_ = std::max(pathWidth_, trialCase.Tried->Path.size());
        }
    }

    std::string Heading() const { return Row("file", "build", "/CHECK", "/S", "release file", "after"); }
    std::string Case(const TrialCase& trialCase, const CaseOutcome& outcome) const {
        return Row(NameOf(trialCase.Tried->FileIndex), std::to_string(trialCase.Tried->Build), Code(outcome.CheckCode),
                   Code(outcome.SilentCode), trialCase.Tried->Path, AfterText(trialCase, outcome));
    }
    std::string Untried(const UntriedBuild& build) const {
        return Row(NameOf(build.FileIndex), std::to_string(build.Build), "-", "-", "-",
                   "not tried: the release holds no file of this build");
    }

  private:
    std::string Row(const std::string& file,
                    const std::string& build,
                    const std::string& check,
                    const std::string& silent,
                    const std::string& path,
                    const std::string& after) const {
        char start[128];
        std::snprintf(start, sizeof start, "%-*s  %5s  %6s  %2s  ", static_cast<int>(LongestFileName()), file.c_str(),
                      build.c_str(), check.c_str(), silent.c_str());
        std::string row = start + path;
        row.append(pathWidth_ - std::min(pathWidth_, path.size()), ' ');
        return row + "  " + after;
    }

    std::size_t pathWidth_ = std::string("release file").size();
};

// The patcher's log as lines, each indented under the case that it tells about.
void PrintLog(const std::string& log, const TrialPrinter& print) {
    std::istringstream lines(log);
    bool any = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        print("    " + line);
        any = true;
    }
    if (!any) {
        print("    (the patcher logged nothing)");
    }
}

}  // namespace

std::string PatcherLine(const std::string& exeName, const std::string& target, const PatchTables& tables) {
    std::string files;
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        if (tables.Selects(fileIndex)) {
            files += (files.empty() ? "" : ", ") + NameOf(fileIndex);
        }
    }
    return "patcher " + exeName + " (" + target + "): product " + std::to_string(tables.ProductIndex) + ", kind " +
           std::to_string(tables.ProductKind) + ", update " + tables.UpdateVersion + " of " + files;
}

bool RunTrialCases(const PatchTables& tables, const TrialPlan& plan, TrialHost& host, const TrialPrinter& print) {
    for (const ReleaseBuild* build : plan.Mismatched) {
        print("note: " + build->Path + " has the size and samples of build " + std::to_string(build->Build) + " of " +
              NameOf(build->FileIndex) + ", but not the content that the patcher brings; left out");
    }
    const TableLines table(plan);
    host.Prepare(tables);
    print(table.Heading());
    std::size_t passed = 0;
    for (const TrialCase& trialCase : plan.Cases) {
        std::vector<TrialHost::File> installed;
        for (const CaseFile& file : trialCase.Files) {
            if (file.Build != nullptr) {
                installed.push_back({NameOf(file.FileIndex), file.Build->Bytes});
            }
        }
        host.Install(installed);
        CaseOutcome outcome;
        outcome.CheckCode = host.RunPatcher({"/CHECK"});
        outcome.SilentCode = host.RunPatcher({"/S"});
        for (std::size_t i = 0; i < plan.Selected.size(); ++i) {
            const int fileIndex = plan.Selected[i];
            outcome.Files.push_back(Assess(tables, fileIndex, *plan.Newest[i], host.ReadBack(NameOf(fileIndex))));
        }
        print(table.Case(trialCase, outcome));
        if (outcome.Passed()) {
            ++passed;
        } else {
            PrintLog(host.Log(), print);
        }
    }
    for (const UntriedBuild& build : plan.Untried) {
        print(table.Untried(build));
    }
    std::string summary = plan.Cases.empty()
                              ? "trial: no case to try"
                              : "trial: " + std::to_string(passed) + " of " + std::to_string(plan.Cases.size()) +
                                    (plan.Cases.size() == 1 ? " case" : " cases") + " ended newest";
    if (!plan.Untried.empty()) {
        summary += "; " + std::to_string(plan.Untried.size()) +
                   (plan.Untried.size() == 1 ? " known build" : " known builds") + " not tried";
    }
    print(summary);
    return !plan.Cases.empty() && passed == plan.Cases.size();
}

std::optional<std::vector<std::uint8_t>> ReadBackProductFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        return std::nullopt;
    }
    try {
        return ReadRegularFile(path, std::uint64_t{1} << 31, "bytes that a product file may have");
    } catch (const ReadError& failure) {
        throw std::runtime_error(Quoted(Utf8Of(path)) + " cannot be read back (" + failure.what() + ")");
    }
}

}  // namespace patcher::patchkit

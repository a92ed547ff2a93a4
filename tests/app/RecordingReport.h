#pragma once

#include <string>
#include <vector>

#include "app/RunReport.h"

namespace patcher::testing {

// What a run or a check reported, one line per call, the facts spelled out and the texts by message id.
class RecordingReport final : public RunReport {
  public:
    std::vector<std::string> Lines;

    void Introduction(ByteStringView, LanguageCode language) override {
        Lines.push_back("introduction " + std::to_string(language));
    }
    void Progress(ByteStringView line, LanguageCode) override { Lines.push_back("progress " + std::string(line)); }
    void Dialog(int messageId, ByteStringView path, LanguageCode) override {
        Lines.push_back("dialog " + std::to_string(messageId) + (path.empty() ? "" : " " + std::string(path)));
    }
    void Summary(int messageId, LanguageCode) override { Lines.push_back("summary " + std::to_string(messageId)); }
    void Folder(const FolderReport& folder) override {
        static const char* const kVerdicts[] = {"used", "none", "not a full path", "missing"};
        static const char* const kSources[] = {"nowhere", "current user", "local machine", "/DIR=", "dialog"};
        Lines.push_back("folder " + std::string(folder.Path) + " (" + kSources[static_cast<int>(folder.Source)] + ") " +
                        kVerdicts[static_cast<int>(folder.Outcome)]);
    }
    void File(ByteStringView path, const FileReport& file) override {
        static const char* const kStates[] = {"current",       "updated",        "created",
                                              "needs update",  "needs creating", "not found",
                                              "unknown build", "unreadable",     "not rewritten"};
        std::string line = "file " + std::string(path) + " " + kStates[static_cast<int>(file.State)] + " " +
                           std::to_string(file.Build) + "->" + std::to_string(file.NewBuild);
        if (file.Failure.Fault != FileFault::None) {
            line += " fault " + std::to_string(static_cast<int>(file.Failure.Fault)) + " code " +
                    std::to_string(file.Failure.SystemCode);
        }
        Lines.push_back(line);
    }
    void Shortcut(const ShortcutProblem& problem) override {
        Lines.push_back(std::string(problem.Removing ? "not removed " : "not made ") + std::string(problem.Path));
    }
    void Unexpected(std::string_view what) override { Lines.push_back("unexpected " + std::string(what)); }
};

}  // namespace patcher::testing

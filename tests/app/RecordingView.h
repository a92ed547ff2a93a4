#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/RunView.h"
#include "lang/MessageIds.h"

namespace patcher::testing {

// What a run showed. Text and Dialogs are what a window would show, rendered; Log lists what was done to the
// window ("buttons off", "messages", "open dialog", ...); Reported lists what a log would be told, one line per
// event: the texts by message id (a progress line once whole), the facts spelled out.
class RecordingView final : public RunView {
  public:
    ByteString Text = "before the run";
    bool PushButtonsEnabled = true;
    std::optional<ByteString> ChosenFile;  // what the open-file dialog answers
    std::vector<ByteString> Dialogs;
    std::vector<std::string> Log;
    std::vector<std::string> Reported;
    std::vector<FileReport> Files;                           // each file's report, whole
    std::function<void()> OnMessages;                        // runs at each point where the window handles its messages
    std::function<void(std::chrono::milliseconds)> OnPause;  // runs at each pause between attempts at a file

    void SetMainText(const ShownText& text) override {
        Text = Rendered(text);
        Reported.push_back((text.MessageId == kMessageIntroduction ? "introduction " : "summary ") +
                           std::to_string(text.MessageId == kMessageIntroduction ? text.Language : text.MessageId));
    }
    void AppendMainText(const ShownText& text) override {
        const ByteString piece = Rendered(text);
        Text += piece;
        line_ += piece;
        if (line_.ends_with("\r\n")) {
            Reported.push_back("progress " + line_);
            line_.clear();
        }
    }
    void ShowProblem(const ShownText& text) override {
        Reported.push_back("dialog " + std::to_string(text.MessageId) +
                           (text.Arguments.empty() ? "" : " " + text.Arguments.front()));
        Log.push_back("dialog");
        Dialogs.push_back(Rendered(text));
    }
    std::optional<ByteString> AskForProgramFile() override {
        Log.push_back("open dialog");
        return ChosenFile;
    }
    void EnablePushButtons(bool enabled) override {
        PushButtonsEnabled = enabled;
        Log.push_back(enabled ? "buttons on" : "buttons off");
    }
    void FocusCloseButton() override { Log.push_back("focus close"); }
    void ProcessPendingMessages() override {
        Log.push_back("messages");
        if (OnMessages) {
            OnMessages();
        }
    }
    void Pause(std::chrono::milliseconds pause) override {
        Log.push_back("pause");
        if (OnPause) {
            OnPause(pause);
        }
    }

    void Folder(const ProductFolder& folder) override {
        static const char* const kVerdicts[] = {
            "unchecked", "none", "not a full path", "missing", "not in the code page", "too long", "used"};
        static const char* const kSources[] = {"nowhere", "current user", "local machine", "/DIR=", "dialog"};
        Reported.push_back("folder " + std::string(folder.Path) + " (" + kSources[static_cast<int>(folder.Source)] +
                           ") " + kVerdicts[static_cast<int>(folder.Verdict)]);
    }
    void File(ByteStringView path, const FileReport& file) override {
        static const char* const kStates[] = {"current",        "updated",          "created",       "needs update",
                                              "needs creating", "not found",        "unknown build", "unreadable",
                                              "not rewritten",  "changed meanwhile"};
        std::string line = "file " + std::string(path) + " " + kStates[static_cast<int>(file.State)] + " " +
                           std::to_string(file.Build) + "->" + std::to_string(file.NewBuild);
        if (file.Failure.Fault != FileFault::None) {
            line += " fault " + std::to_string(static_cast<int>(file.Failure.Fault)) + " code " +
                    std::to_string(file.Failure.SystemCode);
        }
        Reported.push_back(line);
        Files.push_back(file);
    }
    void Shortcut(const ShortcutProblem& problem) override {
        static const char* const kKinds[] = {"not made ", "not removed ", "no programs folder ", "no group ",
                                             "no help file "};
        Reported.push_back(kKinds[static_cast<int>(problem.What)] + std::string(problem.Path));
    }
    void Unexpected(std::string_view what) override { Reported.push_back("unexpected " + std::string(what)); }

  private:
    ByteString line_;
};

}  // namespace patcher::testing

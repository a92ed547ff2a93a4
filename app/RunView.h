#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "app/FileReport.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "engine/InUseWait.h"
#include "shell/HelpShortcuts.h"
#include "shell/ProductFolder.h"

namespace patcher {

// A message of the catalogue as a run shows it: in the display language of the moment it is shown, with the
// texts that fill its "%s" placeholders, in order.
struct ShownText {
    LanguageCode Language = kPolish;
    int MessageId = 0;
    std::vector<ByteString> Arguments;
};

// The message looked up and formatted.
ByteString Rendered(const ShownText& text);

// What shows a run: the main window, the log of /LOG=, or both through a RunViewTee. A run tells it each event
// once, in the order it happens, with the texts as messages and their arguments, so that every side renders
// them as it shows them. Its pause (LockWait) keeps what must stay responsive so while the run waits for a file
// that another program holds.
class RunView : public LockWait {
  public:
    // The main text (lblMain): replaced by a text (the introduction, the summary), or extended by one. A file's
    // progress line comes in two pieces: "File X is being updated ... ", and then "OK" or "Error" and a line
    // break.
    virtual void SetMainText(const ShownText& text) = 0;
    virtual void AppendMainText(const ShownText& text) = 0;
    // A problem in the message dialog with a single OK button; returns once it is answered. Its one argument,
    // where it has one, is a full path in the system's code page.
    virtual void ShowProblem(const ShownText& text) = 0;
    // The open-file dialog that asks for the product's program file: the full name of the file chosen, or
    // nothing (cancelled, or nobody there to ask).
    virtual std::optional<ByteString> AskForProgramFile() = 0;
    // btnUpdate and btnZamknij together. Enabling them gives the focus back to the control that had it when
    // they were disabled, which disabling took it from.
    virtual void EnablePushButtons(bool enabled) = 0;
    virtual void FocusCloseButton() = 0;
    // Lets the window repaint and handle input; returns when nothing is pending.
    virtual void ProcessPendingMessages() = 0;

    // The facts behind the texts.
    virtual void Folder(const ProductFolder& folder) = 0;  // the folder found, and what was made of it
    virtual void File(ByteStringView path, const FileReport& file) = 0;
    virtual void Shortcut(const ShortcutProblem& problem) = 0;  // a help shortcut that failed
    // A failure of the patcher itself that ended the run (what the exception said).
    virtual void Unexpected(std::string_view what) = 0;
};

// What shows a run without a window: nothing to show or repaint, nobody to ask, and pauses that only wait. On
// its own it is the view of a run that keeps no log.
class WindowlessView : public RunView {
  public:
    void SetMainText(const ShownText&) override {}
    void AppendMainText(const ShownText&) override {}
    void ShowProblem(const ShownText&) override {}
    std::optional<ByteString> AskForProgramFile() override { return std::nullopt; }
    void EnablePushButtons(bool) override {}
    void FocusCloseButton() override {}
    void ProcessPendingMessages() override {}
    void Folder(const ProductFolder&) override {}
    void File(ByteStringView, const FileReport&) override {}
    void Shortcut(const ShortcutProblem&) override {}
    void Unexpected(std::string_view) override {}
    void Pause(std::chrono::milliseconds pause) override;
};

// A window run with a log. The log hears each event first (a dialog may be answered late or never), then the
// window shows it; the window alone answers questions and keeps itself responsive through the pauses.
class RunViewTee final : public RunView {
  public:
    RunViewTee(RunView& log, RunView& window) : log_(log), window_(window) {}

    void SetMainText(const ShownText& text) override;
    void AppendMainText(const ShownText& text) override;
    void ShowProblem(const ShownText& text) override;
    std::optional<ByteString> AskForProgramFile() override;
    void EnablePushButtons(bool enabled) override;
    void FocusCloseButton() override;
    void ProcessPendingMessages() override;
    void Folder(const ProductFolder& folder) override;
    void File(ByteStringView path, const FileReport& file) override;
    void Shortcut(const ShortcutProblem& problem) override;
    void Unexpected(std::string_view what) override;
    void Pause(std::chrono::milliseconds pause) override;

  private:
    RunView& log_;
    RunView& window_;
};

}  // namespace patcher

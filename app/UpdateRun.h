#pragma once

#include <optional>
#include <vector>

#include "app/RunReport.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "engine/untPatcher.h"
#include "lang/MessageIds.h"
#include "profile/ProductProfile.h"
#include "shell/HelpShortcuts.h"

namespace patcher {

// The main window's fields that the run reads and writes.
struct RunState {
    bool RunDone = false;       // a run has ended since the window was created
    bool RunSucceeded = false;  // the current or last run has met no error
    LanguageCode DisplayLanguage = kPolish;
    // The summary that the last run ended with (0 before the first run): a later language change shows
    // this message again, in the new language.
    int Summary = 0;
    // The last run found the installation directory (and so looked at the files).
    bool InstallDirFound = false;
    // The last run was ended by a failure of the patcher itself, not of the product's files.
    bool PatcherFailed = false;
};

// What the run needs of the window it runs in. Its pause (LockWait) lets the window handle input while the run
// waits for a file that another program holds.
class UpdateRunWindow : public LockWait {
  public:
    virtual ~UpdateRunWindow() = default;

    virtual RunState& State() = 0;

    // The main text (lblMain).
    virtual ByteString MainText() const = 0;
    virtual void SetMainText(ByteString text) = 0;

    // Enables or disables btnUpdate and btnZamknij together. Enabling them again gives the focus back to the
    // control that had it when they were disabled, which disabling took it from.
    virtual void EnablePushButtons(bool enabled) = 0;
    virtual void FocusCloseButton() = 0;

    // Lets the window repaint and handle input; returns when nothing is pending.
    virtual void ProcessPendingMessages() = 0;

    // The open-file dialog (dlgOtworz): the full name of the file the user confirmed, or nothing.
    virtual std::optional<ByteString> AskForProgramFile() = 0;

    // The message dialog with a single OK button, modal over the window; returns when it is answered.
    virtual void ShowError(ByteStringView text) = 0;
};

// The installation directory as the system found it, and where.
struct FoundFolder {
    ByteString Path;  // empty: none
    FolderSource Source = FolderSource::None;
};

// What the run needs of the system: the installed product and the patch engine.
class UpdateRunSystem {
  public:
    virtual ~UpdateRunSystem() = default;

    // The installation directory as recorded (or as the command line names it), or empty. Never throws.
    virtual FoundFolder FindInstallDir() = 0;
    virtual bool DirectoryExists(ByteStringView path) = 0;
    virtual bool FileExists(ByteStringView path) = 0;
    // `wait` pauses between the attempts at a file that another program holds for a moment; how long the
    // system goes on trying is its own setting.
    virtual Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, LockWait& wait) = 0;
    virtual RewriteResult RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) = 0;
    // Answers what failed, which changes nothing of the run's outcome.
    virtual std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) = 0;
};

// The update run that btnUpdate starts: finds the product, recognises each selected file, rewrites the
// out-of-date ones and creates the absent ones that may be created, reports every file as a line of the main
// text and every problem in the message dialog, and ends with a summary. Every message is taken in the
// window's display language at the moment it is shown, so a language change during the run carries on in
// the new language. Whatever escapes one of its steps (no memory, say) ends it as a failed run: summary 273,
// the buttons enabled again, PatcherFailed set. Only an installation directory given as a full path counts:
// one relative to the current folder ("Vokarion", "C:Vokarion") is damaged data, as if none were recorded.
// `report` is told the texts shown and the facts behind them, in order.
void RunUpdate(const ProductProfile& profile, UpdateRunWindow& window, UpdateRunSystem& system, RunReport& report);

}  // namespace patcher

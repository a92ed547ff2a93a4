#pragma once

#include <chrono>
#include <string_view>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "engine/FileFailure.h"
#include "shell/HelpShortcuts.h"

namespace patcher {

// Where the folder that a run or a check used came from.
enum class FolderSource {
    None,                // nowhere: no record, no /DIR=, no choice in the dialog
    CurrentUserRecord,   // the product's record in the current user's registry
    LocalMachineRecord,  // the product's record in the local machine's registry
    CommandLine,         // /DIR=
    OpenDialog,          // the program file chosen in the open-file dialog
};

// The folder as found, and whether it can be used.
struct FolderReport {
    enum class Verdict {
        Used,         // an existing folder, named by a full path
        NoneFound,    // nothing was recorded or chosen
        NotFullPath,  // a path relative to wherever the patcher was started
        Missing,      // a full path that names no existing folder
    };
    ByteString Path;  // as found (with a final delimiter added once used)
    FolderSource Source = FolderSource::None;
    Verdict Outcome = Verdict::NoneFound;
};

// What became of one selected file.
enum class FileState {
    Current,        // already the newest build: left alone
    Updated,        // an older build, rewritten
    Created,        // absent, and made
    NeedsUpdate,    // (check) an older build that the patcher can rewrite
    NeedsCreating,  // (check) absent, and one that the patcher makes
    NotFound,       // absent, and not one that the patcher may make
    UnknownBuild,   // no known build matches
    Unreadable,     // could not be read
    NotRewritten,   // an older build or an absent one, whose rewrite failed
};

struct FileReport {
    FileState State = FileState::Current;
    int Build = 0;             // the build found (Current, Updated, NeedsUpdate, NotRewritten of an older build)
    int NewBuild = 0;          // the build that the patcher makes
    FileFailure Failure = {};  // why, for Unreadable and NotRewritten
    std::chrono::milliseconds Waited{0};  // how long another program held the file first
};

// What an update run or a check tells besides its window: the facts that an administrator's log keeps.
// Every call comes in the order the run meets it. A run without a log tells an object of this class itself,
// which keeps nothing.
class RunReport {
  public:
    virtual ~RunReport() = default;

    // Texts of the window, in the display language at the moment they are shown.
    virtual void Introduction(ByteStringView /*text*/, LanguageCode /*language*/) {}
    // A file's progress line, complete with its "OK" or "Error".
    virtual void Progress(ByteStringView /*line*/, LanguageCode /*language*/) {}
    // A message shown in the message dialog: the catalogue's message, formatted with the path if it has one.
    virtual void Dialog(int /*messageId*/, ByteStringView /*path*/, LanguageCode /*language*/) {}
    virtual void Summary(int /*messageId*/, LanguageCode /*language*/) {}

    // The facts.
    virtual void Folder(const FolderReport& /*folder*/) {}
    virtual void File(ByteStringView /*path*/, const FileReport& /*file*/) {}
    virtual void Shortcut(const ShortcutProblem& /*problem*/) {}
    // A failure of the patcher itself that ended the run (what the exception said).
    virtual void Unexpected(std::string_view /*what*/) {}
};

}  // namespace patcher

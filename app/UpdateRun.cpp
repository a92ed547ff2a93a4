#include "app/UpdateRun.h"

#include <exception>
#include <optional>

#include "app/FolderAndFileStates.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "profile/FileIndex.h"

namespace patcher {
namespace {

class Run {
  public:
    Run(const ProductProfile& profile, UpdateRunWindow& window, UpdateRunSystem& system, RunReport& report)
        : profile_(profile), window_(window), system_(system), report_(report) {}

    void Perform() {
        State().RunSucceeded = true;
        State().RunDone = false;
        State().InstallDirFound = false;
        State().PatcherFailed = false;
        try {
            const ByteString introduction = Introduction();
            window_.SetMainText(introduction);
            report_.Introduction(introduction, Language());
            window_.EnablePushButtons(false);
            window_.ProcessPendingMessages();
            const ByteString installDir = UpdateFiles();
            for (const ShortcutProblem& problem : system_.CreateHelpShortcuts(installDir)) {
                report_.Shortcut(problem);
            }
        } catch (const std::exception& error) {
            Unexpected(error.what());
        } catch (...) {
            Unexpected("an exception of no known kind");
        }
        Finish();
    }

  private:
    // Nothing is left half done by a step that failed (a rewrite leaves its file old or new), so the run ends
    // as any failed run does, with the buttons back for another try.
    void Unexpected(const char* what) noexcept {
        State().RunSucceeded = false;
        State().PatcherFailed = true;
        try {
            report_.Unexpected(what);
        } catch (...) {
            // The report is a log, which gives up on its own failures.
        }
    }

    // Finds the installation directory and updates every selected file in it; answers the directory in the
    // state that the help shortcuts take it.
    ByteString UpdateFiles() {
        const FolderReport folder =
            LocateProductFolder(profile_, system_, [this] { return window_.AskForProgramFile(); });
        report_.Folder(folder);
        if (folder.Outcome != FolderReport::Verdict::Used) {
            State().RunSucceeded = false;
            ShowProblem(kMessageNoDirectory, std::nullopt);
            return folder.Path;
        }
        State().InstallDirFound = true;
        for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
            if (profile_.SelectedFiles.Contains(fileIndex)) {
                UpdateFile(fileIndex, folder.Path);
            }
        }
        return folder.Path;
    }

    void Finish() {
        // The summary is decided here, with the end of the run, so that a language change from now on
        // shows the summary this run ends with.
        State().RunDone = true;
        State().Summary = !State().RunSucceeded ? kSummaryFailed
                          : filesRewritten_     ? kSummaryUpdated
                                                : kSummaryNothingToDo;
        window_.EnablePushButtons(true);
        window_.ProcessPendingMessages();

        window_.SetMainText(ByteString(Message(State().Summary)));
        report_.Summary(State().Summary, Language());
        if (State().RunSucceeded) {
            window_.FocusCloseButton();
        }
        window_.ProcessPendingMessages();
    }

    RunState& State() { return window_.State(); }
    LanguageCode Language() { return State().DisplayLanguage; }

    // Looked up anew every time: the user may change the language while the run goes on.
    ByteStringView Message(int id) { return LookupMessage(Language(), id); }

    ByteString Introduction() {
        const ByteStringView title = UpdateTitle(profile_.UpdateIndex, profile_.TitleColumn);
        return FormatText(Message(kMessageIntroduction), {title, UpdateVersion(profile_.UpdateIndex)});
    }

    void Append(ByteStringView text) { window_.SetMainText(window_.MainText() + ByteString(text)); }

    // A problem in the message dialog, formatted with the path where it names one. The log has it first: a
    // dialog may be answered late or never.
    void ShowProblem(int messageId, std::optional<ByteStringView> path) {
        report_.Dialog(messageId, path.value_or(ByteStringView()), Language());
        window_.ShowError(path ? FormatText(Message(messageId), {*path}) : ByteString(Message(messageId)));
    }

    void UpdateFile(int fileIndex, const ByteString& installDir) {
        const ByteStringView fileName = FileName(fileIndex);
        Append(FormatText(Message(kMessageFileLine), {fileName}));
        window_.ProcessPendingMessages();

        const ByteString path = installDir + ByteString(fileName);
        FileReport file = AssessFile(fileIndex, path, system_, window_);
        switch (file.State) {
            case FileState::NeedsUpdate:
            case FileState::NeedsCreating:
                Rewrite(fileIndex, path, file);
                break;
            case FileState::UnknownBuild:
                ShowProblem(kMessageUnknownVersion, path);
                break;
            case FileState::Unreadable:
                ShowProblem(kMessageUnreadable, path);
                break;
            case FileState::NotFound:
                ShowProblem(kMessageFileMissing, path);
                break;
            default:
                break;
        }
        const bool ok =
            file.State == FileState::Current || file.State == FileState::Updated || file.State == FileState::Created;
        if (!ok) {
            State().RunSucceeded = false;
        }
        const int word = ok ? kMessageFileOk : kMessageFileFailed;
        Append(Message(word));
        report_.Progress(FormatText(Message(kMessageFileLine), {fileName}) + ByteString(Message(word)), Language());
        report_.File(path, file);
    }

    void Rewrite(int fileIndex, const ByteString& path, FileReport& file) {
        filesRewritten_ = true;
        const RewriteResult rewrite = system_.RewriteFile(fileIndex, path, window_);
        file.Waited += rewrite.Waited;
        if (rewrite) {
            file.State = file.State == FileState::NeedsCreating ? FileState::Created : FileState::Updated;
        } else {
            file.State = FileState::NotRewritten;
            file.Failure = rewrite.Failure;
        }
    }

    const ProductProfile& profile_;
    UpdateRunWindow& window_;
    UpdateRunSystem& system_;
    RunReport& report_;
    bool filesRewritten_ = false;
};

}  // namespace

void RunUpdate(const ProductProfile& profile, UpdateRunWindow& window, UpdateRunSystem& system, RunReport& report) {
    Run(profile, window, system, report).Perform();
}

}  // namespace patcher

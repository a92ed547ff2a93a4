#include "app/UpdateRun.h"

#include <exception>
#include <optional>

#include "app/FolderAndFileStates.h"
#include "lang/MessageIds.h"
#include "common/FileIndex.h"

namespace patcher {
namespace {

class Run {
  public:
    Run(const ProductProfile& profile,
        RunState& state,
        RunView& view,
        UpdateRunSystem& system,
        const RunOptions& options)
        : profile_(profile), state_(state), view_(view), system_(system), options_(options) {}

    void Perform() {
        state_.RunSucceeded = true;
        state_.RunDone = false;
        state_.InstallDirFound = false;
        state_.PatcherFailed = false;
        try {
            view_.SetMainText(
                Shown(kMessageIntroduction, {ByteString(UpdateTitle(profile_.UpdateIndex, profile_.TitleColumn)),
                                             ByteString(UpdateVersion(profile_.UpdateIndex))}));
            view_.EnablePushButtons(false);
            view_.ProcessPendingMessages();
            const ByteString installDir = UpdateFiles();
            for (const ShortcutProblem& problem : system_.CreateHelpShortcuts(installDir)) {
                view_.Shortcut(problem);
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
        state_.RunSucceeded = false;
        state_.PatcherFailed = true;
        try {
            view_.Unexpected(what);
        } catch (...) {
            // What shows the run cannot say more than that.
        }
    }

    // Finds the installation directory and updates every selected file in it; answers the directory in the
    // state that the help shortcuts take it.
    ByteString UpdateFiles() {
        const ProductFolder folder =
            LocateProductFolder(profile_, system_, options_, [this] { return view_.AskForProgramFile(); });
        view_.Folder(folder);
        if (folder.Verdict != FolderVerdict::Used) {
            state_.RunSucceeded = false;
            view_.ShowProblem(Shown(kMessageNoDirectory));
            return folder.Path;
        }
        state_.InstallDirFound = true;
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
        state_.RunDone = true;
        state_.Summary = !state_.RunSucceeded ? kSummaryFailed
                         : filesRewritten_    ? kSummaryUpdated
                                              : kSummaryNothingToDo;
        view_.EnablePushButtons(true);
        view_.ProcessPendingMessages();

        view_.SetMainText(Shown(state_.Summary));
        if (state_.RunSucceeded) {
            view_.FocusCloseButton();
        }
        view_.ProcessPendingMessages();
    }

    // In the language shown at this moment: the user may change it while the run goes on.
    ShownText Shown(int messageId, std::vector<ByteString> arguments = {}) const {
        return {state_.DisplayLanguage, messageId, std::move(arguments)};
    }

    void UpdateFile(int fileIndex, const ByteString& installDir) {
        const ByteString fileName(FileName(fileIndex));
        view_.AppendMainText(Shown(kMessageFileLine, {fileName}));
        view_.ProcessPendingMessages();

        const ByteString path = installDir + fileName;
        InUseWait wait = system_.FileWait(view_);
        FileReport file = AssessFile(fileIndex, path, system_, wait);
        switch (file.State) {
            case FileState::NeedsUpdate:
            case FileState::NeedsCreating:
                Rewrite(fileIndex, path, file, wait);
                break;
            case FileState::UnknownBuild:
                view_.ShowProblem(Shown(kMessageUnknownVersion, {path}));
                break;
            case FileState::Unreadable:
                view_.ShowProblem(Shown(kMessageUnreadable, {path}));
                break;
            case FileState::NotFound:
                view_.ShowProblem(Shown(kMessageFileMissing, {path}));
                break;
            default:
                break;
        }
        const bool ok =
            file.State == FileState::Current || file.State == FileState::Updated || file.State == FileState::Created;
        if (!ok) {
            state_.RunSucceeded = false;
        }
        if (IsThePatchersOwn(file.Failure.Fault)) {
            state_.PatcherFailed = true;
        }
        view_.AppendMainText(Shown(ok ? kMessageFileOk : kMessageFileFailed));
        view_.File(path, file);
    }

    // `wait` goes on from the file's recognition: one deadline for the whole file.
    void Rewrite(int fileIndex, const ByteString& path, FileReport& file, InUseWait& wait) {
        filesRewritten_ = true;
        const FoundTarget found{.Exists = file.State != FileState::NeedsCreating, .Version = file.Build};
        const RewriteResult rewrite = system_.RewriteFile(fileIndex, path, found, wait);
        file.Waited = wait.Waited();
        if (rewrite) {
            file.State = file.State == FileState::NeedsCreating ? FileState::Created : FileState::Updated;
        } else if (rewrite.ChangedTo) {
            file.State = FileState::ChangedMeanwhile;
            file.Now = *rewrite.ChangedTo;
        } else {
            file.State = FileState::NotRewritten;
            file.Failure = rewrite.Failure;
        }
    }

    const ProductProfile& profile_;
    RunState& state_;
    RunView& view_;
    UpdateRunSystem& system_;
    const RunOptions& options_;
    bool filesRewritten_ = false;
};

}  // namespace

void RunUpdate(const ProductProfile& profile,
               RunState& state,
               RunView& view,
               UpdateRunSystem& system,
               const RunOptions& options) {
    Run(profile, state, view, system, options).Perform();
}

}  // namespace patcher

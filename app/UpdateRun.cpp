#include "app/UpdateRun.h"

#include "common/PathText.h"
#include "engine/VersionTables.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"

namespace patcher {
namespace {

constexpr int kMessageIntroduction = 271;
constexpr int kMessageFileLine = 276;
constexpr int kMessageFileOk = 267;
constexpr int kMessageFileFailed = 268;
constexpr int kMessageNoDirectory = 277;
constexpr int kMessageFileMissing = 278;
constexpr int kMessageUnknownVersion = 279;
constexpr int kMessageUnreadable = 280;

constexpr std::int32_t kKindWithOpenDialog = 4;
constexpr int kFirstFileIndex = 1;
constexpr int kLastFileIndex = 12;

class Run {
  public:
    Run(const ProductProfile& profile, UpdateRunWindow& window, UpdateRunSystem& system)
        : profile_(profile), window_(window), system_(system) {}

    void Perform() {
        State().RunSucceeded = true;
        State().RunDone = false;
        State().InstallDirFound = false;
        try {
            window_.SetMainText(Introduction());
            window_.EnablePushButtons(false);
            window_.ProcessPendingMessages();
            system_.CreateHelpShortcuts(UpdateFiles());
        } catch (...) {
            // Nothing is left half done by a step that failed (a rewrite leaves its file old or new), so the
            // run ends as any failed run does, with the buttons back for another try.
            State().RunSucceeded = false;
        }
        Finish();
    }

  private:
    // Finds the installation directory and updates every selected file in it; answers the directory in the
    // state that the help shortcuts take it.
    ByteString UpdateFiles() {
        ByteString installDir = system_.FindInstallDir();
        if (profile_.ProductKind == kKindWithOpenDialog && !IsExistingDirectory(installDir)) {
            if (const std::optional<ByteString> chosen = window_.AskForProgramFile()) {
                installDir = FolderOf(*chosen);
            }
        }
        if (!IsExistingDirectory(installDir)) {
            State().RunSucceeded = false;
            window_.ShowError(Message(kMessageNoDirectory));
            return installDir;
        }
        State().InstallDirFound = true;
        if (!IsPathDelimiter(installDir.back())) {
            installDir += '\\';
        }
        for (int fileIndex = kFirstFileIndex; fileIndex <= kLastFileIndex; ++fileIndex) {
            if (profile_.SelectedFiles.Contains(fileIndex)) {
                UpdateFile(fileIndex, installDir);
            }
        }
        return installDir;
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
        if (State().RunSucceeded) {
            window_.FocusCloseButton();
        }
        window_.ProcessPendingMessages();
    }

    RunState& State() { return window_.State(); }

    // Looked up anew every time: the user may change the language while the run goes on.
    ByteStringView Message(int id) { return LookupMessage(State().DisplayLanguage, id); }

    ByteString Introduction() {
        const ByteStringView title = UpdateTitle(profile_.UpdateIndex, profile_.TitleColumn);
        return FormatText(Message(kMessageIntroduction), {title, UpdateVersion(profile_.UpdateIndex)});
    }

    // An installer records a full path; a relative one would be followed from wherever the patcher was started.
    bool IsExistingDirectory(const ByteString& path) { return IsFullPath(path) && system_.DirectoryExists(path); }

    void Append(ByteStringView text) { window_.SetMainText(window_.MainText() + ByteString(text)); }

    void UpdateFile(int fileIndex, const ByteString& installDir) {
        const ByteStringView fileName = FileName(fileIndex);
        Append(FormatText(Message(kMessageFileLine), {fileName}));
        window_.ProcessPendingMessages();

        const ByteString path = installDir + ByteString(fileName);
        bool ok = false;
        if (system_.FileExists(path)) {
            switch (system_.RecogniseFileVersion(fileIndex, path)) {
                case CheckResult::Current:
                    ok = true;
                    break;
                case CheckResult::OutOfDate:
                    filesRewritten_ = true;
                    ok = system_.RewriteFile(fileIndex, path, window_);
                    break;
                case CheckResult::NotRecognised:
                    window_.ShowError(FormatText(Message(kMessageUnknownVersion), {path}));
                    break;
                case CheckResult::Unreadable:
                    window_.ShowError(FormatText(Message(kMessageUnreadable), {path}));
                    break;
            }
        } else if (NewestVersion(fileIndex) == 1) {
            filesRewritten_ = true;
            ok = system_.RewriteFile(fileIndex, path, window_);
        } else {
            window_.ShowError(FormatText(Message(kMessageFileMissing), {path}));
        }

        if (!ok) {
            State().RunSucceeded = false;
        }
        Append(Message(ok ? kMessageFileOk : kMessageFileFailed));
    }

    const ProductProfile& profile_;
    UpdateRunWindow& window_;
    UpdateRunSystem& system_;
    bool filesRewritten_ = false;
};

}  // namespace

void RunUpdate(const ProductProfile& profile, UpdateRunWindow& window, UpdateRunSystem& system) {
    Run(profile, window, system).Perform();
}

}  // namespace patcher

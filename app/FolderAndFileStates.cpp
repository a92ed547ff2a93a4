#include "app/FolderAndFileStates.h"

#include "common/PathText.h"
#include "engine/VersionTables.h"
#include "profile/ProductKinds.h"
#include "shell/ProductFolder.h"

namespace patcher {

ProductFolder LocateProductFolder(const ProductProfile& profile,
                                  UpdateRunSystem& system,
                                  const RunOptions& options,
                                  const std::function<std::optional<ByteString>()>& askForProgramFile) {
    ProductFolder folder =
        options.Folder ? ProductFolder{*options.Folder, FolderSource::CommandLine} : system.FindInstallDir();
    // An installer records a full path; a relative one would be followed from wherever the patcher was started.
    // A folder that the system's code page cannot name stays as the lookup judged it.
    const auto judge = [&] {
        if (folder.Verdict == FolderVerdict::NotInCodePage) {
            return;
        }
        folder.Verdict = folder.Path.empty()                   ? FolderVerdict::NoneFound
                         : !IsFullPath(folder.Path)            ? FolderVerdict::NotFullPath
                         : !LeavesRoomForAFile(folder.Path)    ? FolderVerdict::TooLong
                         : system.DirectoryExists(folder.Path) ? FolderVerdict::Used
                                                               : FolderVerdict::Missing;
    };
    judge();
    if (folder.Verdict != FolderVerdict::Used && AsksForProgramFile(profile.ProductKind)) {
        if (const std::optional<ByteString> chosen = askForProgramFile()) {
            folder = {FolderOf(*chosen), FolderSource::OpenDialog};
            judge();
        }
    }
    if (folder.Verdict == FolderVerdict::Used && !EndsInDelimiter(folder.Path)) {
        folder.Path += '\\';
    }
    return folder;
}

FileReport AssessFile(int fileIndex, ByteStringView path, UpdateRunSystem& system, InUseWait& wait) {
    FileReport file;
    file.NewBuild = NewestVersion(fileIndex);
    const FilePresence presence = system.LookUpFile(path);
    if (presence.Is == Presence::Absent) {
        file.State = file.NewBuild == 1 ? FileState::NeedsCreating : FileState::NotFound;
        return file;
    }
    // A file that may be there is not one to create or to call missing: it could not be read.
    if (presence.Is == Presence::Unknown) {
        file.State = FileState::Unreadable;
        file.Failure = FailureOfSystemError(presence.SystemCode);
        return file;
    }
    const Recognition recognition = system.RecogniseFileVersion(fileIndex, path, wait);
    file.Build = recognition.Version;
    file.Waited = wait.Waited();
    switch (recognition.Result) {
        case CheckResult::Current:
            file.State = FileState::Current;
            break;
        case CheckResult::OutOfDate:
            file.State = FileState::NeedsUpdate;
            break;
        case CheckResult::NotRecognised:
            file.State = FileState::UnknownBuild;
            break;
        case CheckResult::Unreadable:
            file.State = FileState::Unreadable;
            file.Failure = recognition.Failure;
            break;
    }
    return file;
}

}  // namespace patcher

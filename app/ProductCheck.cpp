#include "app/ProductCheck.h"

#include "app/ExitCodes.h"
#include "app/FolderAndFileStates.h"
#include "common/FileIndex.h"

namespace patcher {

int CheckProduct(const ProductProfile& profile, UpdateRunSystem& system, const RunOptions& options, RunView& view) {
    const ProductFolder folder = LocateProductFolder(profile, system, options, [] { return std::nullopt; });
    view.Folder(folder);
    if (folder.Verdict != FolderVerdict::Used) {
        return kExitNoInstallDir;
    }
    bool updateNeeded = false, failed = false, patcherFailed = false;
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        if (!profile.SelectedFiles.Contains(fileIndex)) {
            continue;
        }
        const ByteString path = folder.Path + ByteString(FileName(fileIndex));
        InUseWait wait = system.FileWait(view);
        const FileReport file = AssessFile(fileIndex, path, system, wait);
        view.File(path, file);
        switch (file.State) {
            case FileState::Current:
                break;
            case FileState::NeedsUpdate:
            case FileState::NeedsCreating:
                updateNeeded = true;
                break;
            default:
                failed = true;
        }
        patcherFailed = patcherFailed || IsThePatchersOwn(file.Failure.Fault);
    }
    return patcherFailed  ? kExitPatcherFailed
           : failed       ? kExitSomeFileFailed
           : updateNeeded ? kExitUpdateNeeded
                          : kExitAllCurrent;
}

}  // namespace patcher

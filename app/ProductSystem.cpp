#include "app/ProductSystem.h"

#include "platform/TextCodePages.h"
#include "shell/HelpShortcuts.h"
#include "shell/InstallDirLookup.h"

namespace patcher {

ProductFolder ProductSystem::FindInstallDir() {
    return LocateInstallDir(profile_, services_.Records,
                            {AnsiCodePage(), [this](ByteStringView path) { return DirectoryExists(path); }});
}

bool ProductSystem::DirectoryExists(ByteStringView path) {
    return services_.Files.DirectoryExists(path);
}

FilePresence ProductSystem::LookUpFile(ByteStringView path) {
    return services_.Files.LookUpFile(path);
}

InUseWait ProductSystem::FileWait(LockWait& pauses) {
    return {pauses, longestWait_, clock_};
}

Recognition ProductSystem::RecogniseFileVersion(int fileIndex, ByteStringView path, InUseWait& wait) {
    return IdentifyFileVersion(fileIndex, path, services_.Files, wait);
}

RewriteResult ProductSystem::RewriteFile(int fileIndex,
                                         ByteStringView path,
                                         const FoundTarget& found,
                                         InUseWait& wait) {
    return patcher::RewriteFile(fileIndex, path, found, {services_.Files, services_.Resources, services_.Decoder},
                                wait);
}

std::vector<ShortcutProblem> ProductSystem::CreateHelpShortcuts(ByteStringView installDir) {
    return patcher::CreateHelpShortcuts(profile_, installDir, services_.Records, services_.Files, services_.StartMenu);
}

}  // namespace patcher

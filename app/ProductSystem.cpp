#include "app/ProductSystem.h"

#include "shell/HelpShortcuts.h"
#include "shell/InstallDirLookup.h"

namespace patcher {

ByteString ProductSystem::FindInstallDir() {
    if (installDir_) {
        return *installDir_;
    }
    return patcher::FindInstallDir(profile_, services_.Records);
}

bool ProductSystem::DirectoryExists(ByteStringView path) {
    return services_.Files.DirectoryExists(path);
}

bool ProductSystem::FileExists(ByteStringView path) {
    return services_.Files.FileExists(path);
}

CheckResult ProductSystem::RecogniseFileVersion(int fileIndex, ByteStringView path) {
    return patcher::RecogniseFileVersion(fileIndex, path, services_.Files);
}

bool ProductSystem::RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) {
    return patcher::RewriteFile(fileIndex, path, {services_.Files, services_.Resources, services_.Decoder, &wait});
}

void ProductSystem::CreateHelpShortcuts(ByteStringView installDir) {
    patcher::CreateHelpShortcuts(profile_, installDir, services_.Records, services_.Files, services_.StartMenu);
}

}  // namespace patcher

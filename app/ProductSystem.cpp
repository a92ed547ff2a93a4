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

bool ProductSystem::FileExists(ByteStringView path) {
    return services_.Files.FileExists(path);
}

Recognition ProductSystem::RecogniseFileVersion(int fileIndex, ByteStringView path, LockWait& wait) {
    return IdentifyFileVersion(fileIndex, path, services_.Files, CompiledVersionTables(), WaitWith(wait));
}

RewriteResult ProductSystem::RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) {
    return patcher::RewriteFile(fileIndex, path,
                                {services_.Files, services_.Resources, services_.Decoder, WaitWith(wait)});
}

std::vector<ShortcutProblem> ProductSystem::CreateHelpShortcuts(ByteStringView installDir) {
    return patcher::CreateHelpShortcuts(profile_, installDir, services_.Records, services_.Files, services_.StartMenu);
}

}  // namespace patcher

#include "shell/StartMenu.h"

#include "common/PathText.h"
#include "platform/PlatformError.h"

namespace patcher {
namespace {

constexpr ByteStringView kShellFoldersKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr ByteStringView kProgramsValue = "Programs";

}  // namespace

ByteString ReadProgramsFolder(Registry& registry) noexcept {
    try {
        const std::unique_ptr<RegistryKey> key = registry.OpenKey(RegistryHive::CurrentUser, kShellFoldersKey);
        if (!key) {
            return {};
        }
        return ReadRegistryString(*key, kProgramsValue);
    } catch (...) {
        return {};
    }
}

bool CreateShellLink(ByteStringView target, ByteStringView linkPath, Shell& shell, unsigned long* failure) noexcept {
    try {
        shell.WriteShellLink(linkPath, target, DirectoryPart(target));
        return true;
    } catch (const PlatformError& error) {
        if (failure != nullptr) {
            *failure = error.SystemCode();
        }
    } catch (...) {
        if (failure != nullptr) {
            *failure = 0;
        }
    }
    return false;
}

ByteString DirectoryPart(ByteStringView path) {
    return ByteString(path.substr(0, NameStart(path)));
}

ByteString JoinPath(ByteStringView directory, ByteStringView name) {
    ByteString joined(directory);
    if (!EndsInDelimiter(joined)) {
        joined += '\\';
    }
    joined += name;
    return joined;
}

}  // namespace patcher

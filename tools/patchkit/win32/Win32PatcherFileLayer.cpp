#include <windows.h>

#include <stdexcept>

#include "platform/PlatformError.h"
#include "platform/SystemErrors.h"
#include "platform/win32/WideText.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherFileLayer.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/patchkit/win32/WindowsPaths.h"

namespace patcher::patchkit {

ByteString PatcherFilePath(const std::string& path) {
    try {
        return patcher::win32::BytesFromWide(PathFromUtf8(path).native(), CP_ACP);
    } catch (const PlatformError&) {
        throw std::runtime_error(Quoted(path) + " cannot be named in this system's code page (" +
                                 std::to_string(::GetACP()) +
                                 "), in which the patcher's own file functions read paths: give it by a name that "
                                 "the code page has");
    }
}

std::string PatcherReadFailure(const std::string& path, unsigned long systemCode) {
    // The file layer opens a folder as a file, which the system refuses as access denied.
    if (systemCode == ERROR_ACCESS_DENIED) {
        try {
            const DWORD attributes = ::GetFileAttributesW(win32::ExtendedPath(PathFromUtf8(path)).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return "a folder, not a file";
            }
        } catch (const std::exception&) {
            // A path that cannot be looked at: the system's words stand.
        }
    }
    return SystemErrorText(systemCode);
}

}  // namespace patcher::patchkit

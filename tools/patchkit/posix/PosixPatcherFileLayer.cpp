#include <cerrno>
#include <filesystem>
#include <system_error>

#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherFileLayer.h"

namespace patcher::patchkit {

ByteString PatcherFilePath(const std::string& path) {
    return path;
}

std::string PatcherReadFailure(const std::string& path, unsigned long systemCode) {
    // The file layer refuses whatever is no regular file (a FIFO, a device) as a folder.
    std::error_code ignored;
    if (systemCode == EISDIR && !std::filesystem::is_directory(path, ignored)) {
        return "not a regular file";
    }
    return Reason(static_cast<int>(systemCode));
}

}  // namespace patcher::patchkit

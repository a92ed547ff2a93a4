#include "tools/patchkit/OutputFolder.h"

#include <stdexcept>

namespace patcher::patchkit {

std::filesystem::path FolderPath(const std::filesystem::path& path) {
    std::filesystem::path folder = std::filesystem::absolute(path).lexically_normal();
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path()) {
        folder = folder.parent_path();
    }
    return folder;
}

std::filesystem::path OutputFolderPath(const std::filesystem::path& given) {
    if (given.empty()) {
        throw std::runtime_error("the output folder is an empty path, which names no folder");
    }
    return FolderPath(given);
}

// Dot-prefixed, so that listings pass it over.
std::string ScratchNameFrom(const std::array<std::uint8_t, 6>& random) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".pk-";
    for (const std::uint8_t byte : random) {
        name += kLetters[byte % (sizeof kLetters - 1)];
    }
    return name;
}

}  // namespace patcher::patchkit

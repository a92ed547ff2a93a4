#include "tools/patchkit/BundledFiles.h"

#include <unistd.h>

#include <stdexcept>
#include <system_error>

#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

// Where this very program lies, whatever folder it was started from or through which link.
std::filesystem::path OwnFolder(const std::string& option) {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        throw std::runtime_error(
            "patchkit cannot tell where it lies, and so where the files that ship with it are: "
            "give " +
            option);
    }
    path.resize(static_cast<std::size_t>(length));
    return std::filesystem::path(path).parent_path();
}

}  // namespace

std::filesystem::path BundledFileIn(const std::filesystem::path& ownFolder,
                                    const std::string& name,
                                    const std::string& option) {
    const std::filesystem::path beside = ownFolder / name;
    const std::filesystem::path installed = (ownFolder / kInstalledFilesFolder).lexically_normal() / name;
    std::error_code ignored;
    for (const std::filesystem::path& place : {beside, installed}) {
        if (std::filesystem::exists(place, ignored)) {
            return place;
        }
    }
    throw std::runtime_error("patchkit's " + name + " is neither beside it nor in " +
                             Quoted(installed.parent_path().string()) + ": give " + option);
}

std::filesystem::path BundledFile(const std::string& name, const std::string& option) {
    return BundledFileIn(OwnFolder(option), name, option);
}

}  // namespace patcher::patchkit

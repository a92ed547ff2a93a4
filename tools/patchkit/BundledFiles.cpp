#include "tools/patchkit/BundledFiles.h"

#include <stdexcept>
#include <system_error>

#include "tools/patchkit/HostProcess.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
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
                             Quoted(Utf8Of(installed.parent_path())) + ": give " + option);
}

std::filesystem::path BundledFile(const std::string& name, const std::string& option) {
    return BundledFileIn(OwnFolder(), name, option);
}

}  // namespace patcher::patchkit

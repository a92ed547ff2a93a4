#include "tools/patchkit/PatcherFile.h"

#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "tools/patchkit/Commands.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherInspection.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {

OpenedPatcher OpenPatcher(const std::filesystem::path& exe) {
    std::vector<std::uint8_t> image = ReadPatcherFile(exe);
    OpenedPatcher opened;
    try {
        opened.Tables = PatcherTables(image);
    } catch (const NotAPatcher& refusal) {
        throw std::runtime_error(Quoted(Utf8Of(exe)) + " is no patcher: " + refusal.what());
    }
    // The tables were read from a sound program, so its resources read too.
    opened.Resources = std::make_unique<pe::PeResourceStore>(std::move(image));
    return opened;
}

std::filesystem::path BuildPatcher() {
    return PathFromUtf8(PATCHER_BUILD_PATCHER);
}

std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments) {
    return TakePatcherOption(arguments, BuildPatcher());
}

std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments, const std::filesystem::path& fallback) {
    if (arguments.size() >= 2 && arguments[0] == "--patcher") {
        std::filesystem::path named = PathFromUtf8(arguments[1]);
        arguments.erase(arguments.begin(), arguments.begin() + 2);
        return named;
    }
    std::error_code ignored;
    if (fallback.empty()) {
        throw UsageError{"name the patcher to use with --patcher EXE (this patchkit belongs to no build of a patcher)"};
    }
    if (!std::filesystem::exists(fallback, ignored)) {
        throw std::runtime_error(
            "--patcher EXE is needed: the English patcher of the build that this patchkit came from, " +
            Quoted(Utf8Of(fallback)) + ", is not there");
    }
    return fallback;
}

}  // namespace patcher::patchkit

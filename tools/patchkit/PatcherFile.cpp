#include "tools/patchkit/PatcherFile.h"

#include <stdexcept>
#include <vector>

#include "tools/patchkit/Commands.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

// A patcher is a program of a few megabytes; its packed data are at most two slots of 2 MiB per file.
constexpr std::uint64_t kLargestPatcher = 64 * 1024 * 1024;

}  // namespace

std::unique_ptr<pe::PeResourceStore> OpenPatcher(const std::filesystem::path& exe) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadRegularFile(exe, kLargestPatcher, "that any patcher takes");
    } catch (const ReadError& error) {
        throw std::runtime_error("the patcher " + Quoted(exe.string()) + " cannot be read (" + error.what() + ")");
    }
    try {
        return std::make_unique<pe::PeResourceStore>(std::move(bytes));
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error("the patcher " + Quoted(exe.string()) + " is no program: " + error.what());
    }
}

std::filesystem::path BuildPatcher() {
    return PathFromUtf8(PATCHER_BUILD_PATCHER);
}

std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments) {
    if (arguments.size() >= 2 && arguments[0] == "--patcher") {
        std::filesystem::path named = PathFromUtf8(arguments[1]);
        arguments.erase(arguments.begin(), arguments.begin() + 2);
        return named;
    }
    std::filesystem::path own = BuildPatcher();
    if (own.empty()) {
        throw UsageError{"this patchkit belongs to no build of a patcher: name one with --patcher EXE"};
    }
    return own;
}

}  // namespace patcher::patchkit

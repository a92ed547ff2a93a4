#include "tools/patchkit/PatcherFile.h"

#include <stdexcept>
#include <system_error>
#include <vector>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"

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
    return PATCHER_BUILD_PATCHER;
}

std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments) {
    return TakePatcherOption(arguments, BuildPatcher());
}

std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments, const std::filesystem::path& fallback) {
    if (arguments.size() >= 2 && arguments[0] == "--patcher") {
        std::filesystem::path named = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
        return named;
    }
    std::error_code ignored;
    if (!std::filesystem::exists(fallback, ignored)) {
        throw std::runtime_error(
            "--patcher EXE is needed: the English patcher of the build that this patchkit "
            "came from, " +
            Quoted(fallback.string()) + ", is not there");
    }
    return fallback;
}

}  // namespace patcher::patchkit

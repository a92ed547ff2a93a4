#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "engine/FileFailure.h"
#include "engine/untPatcher.h"
#include "platform/DirectoryResourceStore.h"
#include "platform/FileSystem.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherInspection.h"

namespace patcher::patchkit {
namespace {

// Why a file could not be read: the system's words where a system call failed (the host's error numbers).
std::string WhyUnreadable(const std::string& path, const FileFailure& failure) {
    // The file layer refuses whatever is no regular file (a FIFO, a device) as a folder.
    std::error_code ignored;
    if (failure.SystemCode == EISDIR && !std::filesystem::is_directory(path, ignored)) {
        return "not a regular file";
    }
    if (failure.SystemCode != 0) {
        return Reason(static_cast<int>(failure.SystemCode));
    }
    return failure.Fault == FileFault::OutOfMemory ? "out of memory" : "it could not be read whole";
}

PatchTables BuildTables() {
    DirectoryResourceStore data(PATCHER_PACKED_DIR);
    return LoadPatchTables(data);
}

}  // namespace

// The recognition of a file as the patcher of this build makes it, by the tables of the build's data
// (PATCHER_PACKED_DIR), or with --patcher as a patcher exe makes it, by the tables it carries. A file that
// cannot be read has no CheckResult worth printing: it is refused with the reason.
int RunRecognise(const Arguments& arguments) {
    Arguments rest = arguments;
    std::optional<std::string> patcher;
    if (!rest.empty() && rest[0] == "--patcher") {
        if (rest.size() < 2) {
            throw UsageError{"--patcher takes the patcher exe"};
        }
        patcher = rest[1];
        rest.erase(rest.begin(), rest.begin() + 2);
    }
    if (rest.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(rest[0]);
    const std::string& path = rest[1];
    const PatchTables tables = patcher ? ReadPatcherTables(*patcher) : BuildTables();
    const Recognition recognition = IdentifyFileVersion(fileIndex, path, SystemFileSystem(), tables);
    if (recognition.Result == CheckResult::Unreadable) {
        throw std::runtime_error(Quoted(path) + " cannot be read (" + WhyUnreadable(path, recognition.Failure) + ")");
    }
    if (recognition.Version != 0) {
        std::printf("%s %d\n", CheckResultName(recognition.Result), recognition.Version);
    } else {
        std::printf("%s\n", CheckResultName(recognition.Result));
    }
    return 0;
}

}  // namespace patcher::patchkit

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/FileFailure.h"
#include "engine/untPatcher.h"
#include "platform/FileSystem.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherFile.h"
#include "tools/patchkit/PatcherFileLayer.h"

namespace patcher::patchkit {
namespace {

// Why a file could not be read: the system's words where a system call failed (the host's error numbers).
std::string WhyUnreadable(const std::string& path, const FileFailure& failure) {
    if (failure.SystemCode != 0) {
        return PatcherReadFailure(path, failure.SystemCode);
    }
    return failure.Fault == FileFault::OutOfMemory ? "out of memory" : "it could not be read whole";
}

}  // namespace

// The recognition of a file as a patcher makes it, by that patcher's tables (the build's own English patcher
// unless --patcher names another). A file that cannot be read has no CheckResult worth printing: it is refused
// with the reason.
int RunRecognise(const Arguments& arguments) {
    Arguments rest = arguments;
    const std::filesystem::path patcher = TakePatcherOption(rest);
    if (rest.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(rest[0]);
    const PatchTables tables = OpenPatcher(patcher).Tables;
    const Recognition recognition =
        IdentifyFileVersion(fileIndex, PatcherFilePath(rest[1]), SystemFileSystem(), tables);
    if (recognition.Result == CheckResult::Unreadable) {
        throw std::runtime_error(Quoted(rest[1]) + " cannot be read (" + WhyUnreadable(rest[1], recognition.Failure) +
                                 ")");
    }
    if (recognition.Version != 0) {
        std::printf("%s %d\n", CheckResultName(recognition.Result), recognition.Version);
    } else {
        std::printf("%s\n", CheckResultName(recognition.Result));
    }
    return 0;
}

}  // namespace patcher::patchkit

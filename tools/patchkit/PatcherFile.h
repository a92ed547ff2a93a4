#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tables/PatchTables.h"
#include "tools/pe/PeResourceStore.h"

namespace patcher::patchkit {

// A patcher exe that a command works with: its resources on any host, and the tables it carries, read as the
// patcher reads them.
struct OpenedPatcher {
    std::unique_ptr<pe::PeResourceStore> Resources;
    PatchTables Tables;
};

// The patcher exe at `exe`, read whole (a regular file only: a FIFO is refused, never waited on). Throws
// std::runtime_error naming it: "PATH cannot be read (...)", or "PATH is no patcher: ..." for a file that is no
// program or carries no tables to trust.
OpenedPatcher OpenPatcher(const std::filesystem::path& exe);

// The English patcher of the build that this patchkit belongs to; none (an empty path) for patchkit.exe.
std::filesystem::path BuildPatcher();

// Takes "--patcher EXE" from the front of a command's arguments where it stands there: the patcher named, or
// where none is, the English patcher of the build that this patchkit belongs to. patchkit.exe belongs to no
// build: then --patcher is needed (UsageError). An installed patchkit may lie far from the build it came from:
// where the build's patcher is not there, it throws std::runtime_error saying that --patcher is needed.
std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments);

// The same with `fallback` in the place of the build's patcher.
std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments, const std::filesystem::path& fallback);

}  // namespace patcher::patchkit

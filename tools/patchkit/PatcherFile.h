#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/pe/PeResourceStore.h"

namespace patcher::patchkit {

// A patcher exe that a command looks into, read whole (a regular file only: a FIFO is refused, never waited
// on), with its resources on any host. Throws std::runtime_error naming it where it cannot be read or is no
// program.
std::unique_ptr<pe::PeResourceStore> OpenPatcher(const std::filesystem::path& exe);

// The patcher a command takes where none is named (--patcher): the English patcher of the build that this
// patchkit belongs to.
std::filesystem::path BuildPatcher();

// Takes "--patcher EXE" from the front of a command's arguments where it stands there: the patcher named, or
// the build's own. An installed patchkit may lie far from the build it came from: where the build's patcher is
// not there, it throws std::runtime_error saying that --patcher is needed.
std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments);

// The same with `fallback` in the place of the build's patcher.
std::filesystem::path TakePatcherOption(std::vector<std::string>& arguments, const std::filesystem::path& fallback);

}  // namespace patcher::patchkit

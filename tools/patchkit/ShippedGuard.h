#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tables/PatchTables.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/ReleaseFiles.h"

namespace patcher::patchkit {

// A patcher that users have already: it stays on their disks and may run again after the next update has
// been installed. It takes a file for the lowest of its builds whose size and 50 samples match, and rewrites
// every build older than its newest; a new build that it cannot tell from one of its older builds would be
// overwritten with its newest, which undoes the new update. The guard refuses to build such a release.

// What a shipped patcher knows of the product's files.
struct ShippedPatcher {
    std::string Name;  // how messages name it: the exe's path, or the description it was made from
    PatchTables Tables;
    // The bytes of the builds that it was made from, by file index and build number, where they are at hand
    // (all of them for a patcher made from a description and its release folder; none for one read from its
    // exe, whose tables hold only sizes and samples).
    std::map<std::pair<int, int>, std::vector<std::uint8_t>> Builds;
};

// The shipped patcher exe at `path`, made by this tool: its tables resource. Throws std::runtime_error naming
// the path for a file that cannot be read or is no patcher.
ShippedPatcher ShippedPatcherFromExe(const std::filesystem::path& path);

// A patcher shipped before patchers carried their tables as a resource, whose tables were compiled in: the
// tables that its description gives over its release folder, derived as a build derives them. Throws
// DescriptionError naming the description's line, std::runtime_error for a folder that cannot be read.
ShippedPatcher ShippedPatcherFromDescription(const std::string& descriptionPath,
                                             const std::filesystem::path& releaseDir);

// Refuses any build of the new description that a shipped patcher selects the file of, does not know (it
// holds no build of that file with the same size and bytes; where it has no bytes at hand, the build of the
// same number with the same size and samples), and yet would take for one of its builds older than its newest.
// Throws DescriptionError naming the new build's line, the shipped patcher, the build it would be taken for
// and what tells them apart.
void RefuseDowngrades(const PatchDescription& description,
                      const std::vector<LoadedFile>& files,
                      std::span<const ShippedPatcher> shipped);

// The shipped patchers that a build is given on its command line.
struct ShippedSources {
    std::vector<std::string> Patchers;  // --shipped PATCHER.exe
    // --shipped-description DESCRIPTION RELEASE-DIR
    std::vector<std::pair<std::string, std::string>> Descriptions;
};

// Takes every `--shipped PATCHER.exe` and `--shipped-description DESCRIPTION RELEASE-DIR` out of `arguments`,
// wherever they stand, each any number of times; the other arguments stay in their order. Throws UsageError
// for an option without its values.
ShippedSources TakeShippedOptions(Arguments& arguments);

// Reads what the options name, patchers first, each in the order given.
std::vector<ShippedPatcher> LoadShippedPatchers(const ShippedSources& sources);

}  // namespace patcher::patchkit

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tables/PatchTables.h"
#include "tools/pe/ResourceWriter.h"
#include "tools/pe/VersionInfo.h"
#include "tools/standin/PackedResources.h"

namespace patcher::patchkit {

// A patcher is its target's stub with the resources of one release written into it: the tables
// (kPatchTablesResource), the packed slots, and the version information that names the update.

// The language that the resources are written in, as the resource compiler writes the stub's own (U.S.
// English): the version information then replaces the stub's, should it carry one.
inline constexpr std::uint16_t kResourceLanguage = 0x409;

// "VokarEn-1.5.3-patch.exe": the stem of the updated file (FileName of UpdateIndex), the update's version.
std::string PatcherFileName(const PatchTables& tables);

// What Windows' file properties show of the patcher: its version in numbers, the product's Polish title, the
// update's version, the names of the file, in a Polish and an English string table.
pe::VersionInfo PatcherVersionInfo(const PatchTables& tables);

// Every resource that a release writes into the stub, in the order written.
std::vector<pe::PeResource> PatcherResources(const PatchTables& tables,
                                             std::span<const std::uint8_t> tablesResource,
                                             const std::vector<standin::PackedResource>& slots);

// The patcher: the stub with the release's resources written into it (pe::WithResources, whose refusals it
// passes on).
std::vector<std::uint8_t> AssemblePatcher(std::span<const std::uint8_t> stub,
                                          const PatchTables& tables,
                                          std::span<const std::uint8_t> tablesResource,
                                          const std::vector<standin::PackedResource>& slots);

}  // namespace patcher::patchkit

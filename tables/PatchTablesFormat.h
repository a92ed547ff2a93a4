#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteString.h"
#include "tables/PatchTables.h"
#include "platform/ResourceStore.h"

namespace patcher {

// The patch tables as the one data resource (RT_RCDATA) of this name that each patcher carries; the layout is
// described in PatchTablesFormat.cpp.
inline constexpr ByteStringView kPatchTablesResource = "PATCHTABLES";

// The longest title or version text that the tables hold, in bytes.
inline constexpr std::size_t kMaxTableTextBytes = 255;

// What their header begins with: the magic, the layout version, and how long it is.
inline constexpr std::string_view kPatchTablesMagic = "VKPT";
inline constexpr std::uint32_t kPatchTablesLayout = 1;
inline constexpr std::size_t kPatchTablesHeaderBytes = 16;

// Tables that cannot be trusted: damaged, cut short, of another layout, or not consistent in themselves.
class PatchTablesError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Throws PatchTablesError for tables that are not consistent in themselves (ranges, numbers, sizes, samples,
// texts, the selection), as ReadPatchTables refuses them.
void CheckPatchTables(const PatchTables& tables);

// The bytes of the resource (PatchTablesWriter.cpp, which only the maintainers' tool needs). Throws
// PatchTablesError for tables that ReadPatchTables would refuse, so that nothing is written that a patcher
// could not read.
std::vector<std::uint8_t> WritePatchTables(const PatchTables& tables);

// The tables in the bytes of a resource, checked whole before anything is returned: the header, the CRC-32,
// every count, number, size, offset and text, and that the parts agree. Throws PatchTablesError for anything
// else, and never reads outside `bytes`.
PatchTables ReadPatchTables(std::span<const std::uint8_t> bytes);

// The tables that the program carries: the resource kPatchTablesResource of `resources`, read as above. Throws
// PlatformError where there is no such resource, and PatchTablesError where it cannot be trusted.
PatchTables LoadPatchTables(ResourceStore& resources);

}  // namespace patcher

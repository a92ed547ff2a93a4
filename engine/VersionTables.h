#pragma once

#include <cstdint>

#include "tables/PatchTables.h"

namespace patcher {

// Exact size in bytes of a known build of a product file in the installed patch tables; 0 where the file has
// no such version. Both arguments are one-based; anything outside the tables gives 0.
std::int32_t VersionSize(int fileIndex, int version);

// Number of the newest known version of a file (1..12) in the installed patch tables; 0 where it has none.
std::int32_t NewestVersion(int fileIndex);

}  // namespace patcher

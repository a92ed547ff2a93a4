#pragma once

#include <array>
#include <cstdint>

#include "profile/FileIndex.h"

namespace patcher {

inline constexpr int kMaxVersions = 11;  // version numbers 1..11, counted per file

// Exact size in bytes of a known build of a product file; 0 where the file has no such version.
// Both arguments are one-based; anything outside the table gives 0.
std::int32_t VersionSize(int fileIndex, int version);

// Number of the newest known version of a file (1..12); 0 outside the table.
std::int32_t NewestVersion(int fileIndex);

}  // namespace patcher

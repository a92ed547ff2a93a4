#pragma once

#include <cstdint>
#include <span>

#include "engine/untPatcher.h"
#include "tables/PatchTables.h"

namespace patcher::patchkit {

// The build of file fileIndex (1..12) that bytes held in memory are, by a patcher's tables and its own
// recognition.
Recognition RecogniseBytes(const PatchTables& tables, int fileIndex, std::span<const std::uint8_t> bytes);

}  // namespace patcher::patchkit

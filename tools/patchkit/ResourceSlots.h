#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "common/ByteString.h"
#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/BuildOptions.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/standin/PackedResources.h"

namespace patcher::patchkit {

// The selected files' newest builds in the resource slots of their rows: one slot, or two that split it.

// The names of a file's slots in the resource table; the second is empty for a row of one slot.
std::pair<ByteStringView, ByteStringView> SlotNames(const BuildOptions& options, int fileIndex);

// How slot 1 of a file's row is filled: as the description says, else (nullopt) by the default split.
std::optional<std::size_t> GivenSplit(const LoadedFile& file);

// Every split that the description gives fits its file, every selected file has a name in slot 1 of its
// row, and its new content fits the row's slots. Throws DescriptionError.
void CheckSlots(const PatchDescription& description, const std::vector<LoadedFile>& files, const BuildOptions& options);

// The selected files' newest builds packed into their slots, with each slot's figures. Throws
// DescriptionError naming the build that cannot be packed.
std::vector<standin::PackedResource> PackSlots(const PatchDescription& description,
                                               const std::vector<LoadedFile>& files,
                                               const BuildOptions& options,
                                               BuildFigures& figures);

}  // namespace patcher::patchkit

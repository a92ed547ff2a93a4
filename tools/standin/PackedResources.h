#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "common/ByteString.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::standin {

// A file whose new content is larger than one packed stream may hold is split over its two slots: slot 1
// takes this many bytes, slot 2 the rest.
inline constexpr std::size_t kFirstSlotBytes = 1'000'000;

struct PackedResource {
    ByteString Name;
    Bytes Packed;
    std::size_t UnpackedSize;
};

// The packed resources of the row of fileIndex: its new content (the newest stand-in build), split over the
// row's slots, each packed and checked to unpack to exactly its part. Throws when a part cannot be packed.
// `greedy` trades size for packing time (for tests).
std::vector<PackedResource> PackFileResources(StandinBuilds& builds, int fileIndex, bool greedy = false);

}  // namespace patcher::standin

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/ByteString.h"
#include "tools/packer/Packer.h"

namespace patcher::standin {

// A file whose new content is larger than one packed stream may hold is split over its two slots: slot 1
// takes this many bytes, slot 2 the rest.
inline constexpr std::size_t kFirstSlotBytes = 1'000'000;

struct PackedResource {
    ByteString Name;
    std::vector<std::uint8_t> Packed;
    std::size_t UnpackedSize;
};

// The parts of a file's new content that the slots of its row take: the whole content for a row with one
// name (slot 1), the first kFirstSlotBytes and the rest for a row with two.
std::vector<std::span<const std::uint8_t>> SplitOverSlots(std::span<const std::uint8_t> content, bool twoSlots);

// The packed resources of a row whose slots hold these names (the second may be empty): the content split
// over them, each part packed and checked to unpack to exactly its bytes. Throws std::invalid_argument for a
// row without a first name, packer::PackError for a part that no stream can hold (empty, or more than
// UnpackCapacity), std::logic_error for a part that does not unpack to its bytes.
std::vector<PackedResource> PackFileResources(std::span<const std::uint8_t> content,
                                              ByteStringView firstName,
                                              ByteStringView secondName,
                                              packer::ParseMethod method = packer::ParseMethod::Optimal);

}  // namespace patcher::standin

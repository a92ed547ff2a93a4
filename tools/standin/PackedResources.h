#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/ByteString.h"
#include "tools/packer/Packer.h"

namespace patcher::standin {

// A file on a row of two slots is split over them: slot 1 takes its first part, slot 2 the rest, and each
// part must fit one packed stream (1 to UnpackCapacity bytes). Slot 1 has always taken this many bytes.
inline constexpr std::size_t kFirstSlotBytes = 1'000'000;

// How many bytes slot 1 takes of content of `size` bytes where the description gives no split:
// kFirstSlotBytes where the rest fits slot 2, as every build so far has split; otherwise half (rounded up),
// so that a file of 2 to 2 * UnpackCapacity bytes always fits both slots. Beyond that, UnpackCapacity: slot
// 2 then holds more than it can, and the build is refused for that.
std::size_t DefaultFirstSlotBytes(std::size_t size);

struct PackedResource {
    ByteString Name;
    std::vector<std::uint8_t> Packed;
    std::size_t UnpackedSize;
};

// The parts of a file's new content that the slots of its row take: the whole content for a row with one
// name (slot 1); for a row with two, the first `firstSlotBytes` (DefaultFirstSlotBytes where not given, at
// most the whole content) and the rest.
std::vector<std::span<const std::uint8_t>> SplitOverSlots(std::span<const std::uint8_t> content,
                                                          bool twoSlots,
                                                          std::optional<std::size_t> firstSlotBytes = std::nullopt);

// The packed resources of a row whose slots hold these names (the second may be empty): the content split
// over them as SplitOverSlots splits it, each part packed and checked to unpack to exactly its bytes. Throws
// std::invalid_argument for a row without a first name, packer::PackError for a part that no stream can hold
// (empty, or more than UnpackCapacity), std::logic_error for a part that does not unpack to its bytes.
std::vector<PackedResource> PackFileResources(std::span<const std::uint8_t> content,
                                              ByteStringView firstName,
                                              ByteStringView secondName,
                                              packer::ParseMethod method = packer::ParseMethod::Optimal,
                                              std::optional<std::size_t> firstSlotBytes = std::nullopt);

}  // namespace patcher::standin

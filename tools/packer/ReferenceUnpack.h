#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace patcher::packer {

// Unpacks a stream the slow, literal way: one bit at a time, each code found by searching the entries in
// order of length and reading one more bit whenever the next entry is longer. Every read and copy is
// checked, and a search never goes past the entry count. It is the reference that Unpack is measured and
// checked against; it throws UnpackError for a broken stream (codes that are not prefix-free are decoded
// the way the search finds them).
std::vector<std::uint8_t> ReferenceUnpack(std::span<const std::uint8_t> packed);

}  // namespace patcher::packer

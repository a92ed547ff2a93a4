#pragma once

#include <cstdint>
#include <span>

namespace patcher::pe {

// The checksum that the optional header of `image` should hold, as Windows computes it (CheckSumMappedFile):
// the file's 16-bit little-endian words added up, each carry folded back into the low 16 bits, with the
// checksum field counted as zero; then the file's length added. Throws BrokenImage for a file without PE
// headers.
std::uint32_t PeChecksum(std::span<const std::uint8_t> image);

}  // namespace patcher::pe

#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "engine/UDer.h"

namespace patcher::packer {

// More bytes than any packed stream needs: the codes of a token string (at most twice UnpackCapacity tokens,
// at most 16 bits each) after a table of at most 256 entries.
inline constexpr std::uint64_t kMaxPackedBytes = std::uint64_t{8} * UnpackCapacity + 4096;

// Input that no packed stream can hold: empty, or longer than UnpackCapacity.
class PackError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class ParseMethod {
    Greedy,   // longest copy at each position: the baseline
    Optimal,  // cheapest parse under the code of the previous pass, repeated while the stream shrinks
};

// Packs bytes into a stream that Unpack turns back into exactly them.
std::vector<std::uint8_t> Pack(std::span<const std::uint8_t> data, ParseMethod method = ParseMethod::Optimal);

}  // namespace patcher::packer

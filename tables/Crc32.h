#pragma once

#include <cstdint>
#include <span>

namespace patcher {

// CRC-32 (the polynomial of zip and PNG, reflected, initial and final value 0xFFFFFFFF), computed in pieces:
// Crc32Update(Crc32Update(kCrc32Start, a), b) continues over a then b; Crc32Finish gives the value.
inline constexpr std::uint32_t kCrc32Start = 0xFFFFFFFFu;
std::uint32_t Crc32Update(std::uint32_t state, std::span<const std::uint8_t> bytes);
inline std::uint32_t Crc32Finish(std::uint32_t state) {
    return state ^ 0xFFFFFFFFu;
}

inline std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    return Crc32Finish(Crc32Update(kCrc32Start, bytes));
}

}  // namespace patcher

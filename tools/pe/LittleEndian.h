#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace patcher::pe {

// Little-endian fields in a byte buffer. The caller has checked that the field lies inside the buffer;
// Store grows a vector that is too short, as building a structure field by field needs.

inline std::uint16_t Load16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t Load32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return Load16(bytes, at) | static_cast<std::uint32_t>(Load16(bytes, at + 2)) << 16;
}

inline void Store16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    if (bytes.size() < at + 2) {
        bytes.resize(at + 2);
    }
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Store32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    Store16(bytes, at, value & 0xFFFF);
    Store16(bytes, at + 2, value >> 16);
}

}  // namespace patcher::pe

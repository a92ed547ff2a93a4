#pragma once

#include <bit>
#include <cstdint>

namespace patcher::packer {

// Fraction bits of FixedLog2: far finer than the sixteenth of a bit that prices keep.
inline constexpr int kLog2FractionBits = 20;

// log2(value) for value >= 1, in units of 2^-kLog2FractionBits, rounded down (off by at most one unit).
// Integer arithmetic alone, so that the prices and hence the packed bytes are the same with any compiler and
// C library: the mantissa, kept in [2^31, 2^32), is squared once per fraction bit, and a square of 2 or more
// is that bit set.
constexpr std::uint64_t FixedLog2(std::uint64_t value) {
    const int whole = static_cast<int>(std::bit_width(value)) - 1;
    std::uint64_t mantissa = whole >= 31 ? value >> (whole - 31) : value << (31 - whole);
    std::uint64_t log = static_cast<std::uint64_t>(whole);
    for (int bit = 0; bit < kLog2FractionBits; ++bit) {
        mantissa = mantissa * mantissa >> 31;
        log <<= 1;
        if (mantissa >= std::uint64_t{1} << 32) {
            mantissa >>= 1;
            log |= 1;
        }
    }
    return log;
}

}  // namespace patcher::packer

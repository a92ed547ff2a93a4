#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace patcher::packer {

using SymbolCounts = std::array<std::uint64_t, 256>;

// A prefix code over byte values; a length of 0 means that the value has no code.
struct PrefixCode {
    std::array<std::uint8_t, 256> Lengths{};
    std::array<std::uint16_t, 256> Codes{};  // right-aligned, first bit sent = most significant
};

inline constexpr int kMaxCodeLength = 16;

// The prefix code of at most kMaxCodeLength bits that makes the counted symbols shortest (package-merge).
// The format needs two codes at least: a single counted symbol gets a one-bit code and a partner.
PrefixCode BuildPrefixCode(const SymbolCounts& counts);

SymbolCounts CountSymbols(std::span<const std::uint8_t> symbols);

// Size in bits of the stored code table (presence bits, lengths and codes).
std::uint64_t TableBits(const PrefixCode& code);

// Size in bytes of the whole packed stream for these symbol counts.
std::uint64_t PackedSize(const PrefixCode& code, const SymbolCounts& counts);

// The packed stream: code table, fill bits, the intermediate length and the coded intermediate string.
std::vector<std::uint8_t> WritePackedStream(const PrefixCode& code, std::span<const std::uint8_t> intermediate);

}  // namespace patcher::packer

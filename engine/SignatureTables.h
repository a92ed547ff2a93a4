#pragma once

#include <array>
#include <cstdint>

namespace patcher {

inline constexpr int kSignatureEntries = 50;

// One sampled byte of a known build: the byte at Offset (0 <= Offset < that version's size) must be Expected.
struct SignatureEntry {
    std::int32_t Offset;
    std::uint8_t Expected;

    bool operator==(const SignatureEntry&) const = default;
};

// The samples of one (file, version) pair, in the order in which they are compared.
using SignatureTable = std::array<SignatureEntry, kSignatureEntries>;

// The table of a known version in the installed patch tables (engine/PatchTables.h), or nullptr where the file
// has no such version (VersionSize is 0).
const SignatureTable* FindSignatureTable(int fileIndex, int version);

}  // namespace patcher

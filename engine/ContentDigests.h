#pragma once

#include <cstdint>

namespace patcher {

// What the new content of a product file must be once unpacked: its size and CRC-32. The packed format has
// no check of its own, so a damaged resource would otherwise unpack to wrong bytes unnoticed.
struct ContentDigest {
    std::int32_t Size;
    std::uint32_t Crc32;

    bool operator==(const ContentDigest&) const = default;
};

// The digest of the new content of file fileIndex (1..12) in the installed patch tables (engine/PatchTables.h),
// or nullptr where none is recorded.
const ContentDigest* NewContentDigest(int fileIndex);

}  // namespace patcher

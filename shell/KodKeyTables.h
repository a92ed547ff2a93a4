#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace patcher {

// The scrambler's two key tables: 10 methods x 6 keys x 10 positions. The entry for method m (1..10), key b
// (1..6) and position k (0..9) is at (m - 1) * 60 + (b - 1) * 10 + k. The shift methods read rows 1..3 of
// ShiftKeyTable, whose entries are all below 226 so that a shift stays invertible; the XOR methods read rows
// 4..6 of XorKeyTable.
//
// Installed products write their registry records with these tables: a changed entry makes every existing
// record unreadable.
inline constexpr std::size_t kKeyTableSize = 600;

extern const std::array<std::uint8_t, kKeyTableSize> ShiftKeyTable;
extern const std::array<std::uint8_t, kKeyTableSize> XorKeyTable;

}  // namespace patcher

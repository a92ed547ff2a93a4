#pragma once

#include <array>
#include <cstdint>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "tables/PatchTables.h"

namespace patcher {

// The set of file indices that the update run handles: 256 bits in 32 bytes, member n being bit (n mod 8) of
// byte (n div 8). Only 1..12 are meaningful.
struct SelectedFileSet {
    std::array<std::uint8_t, 32> Bits{};

    bool Contains(int fileIndex) const {
        if (fileIndex < 0 || fileIndex > 255) {
            return false;
        }
        return (Bits[static_cast<std::size_t>(fileIndex / 8)] >> (fileIndex % 8) & 1) != 0;
    }
};

// The values that make one build of the patcher serve one product and one update. Set once at start-up and
// read-only afterwards, except TitleColumn, which is written where a display language is applied: by the main
// window's SetDisplayLanguage, and without a window (/S, /CHECK) by start-up, once.
struct ProductProfile {
    std::int32_t ProductIndex = 0;     // row of ProductKeyTable and StartMenuGroupName; scrambler method
    LanguageCode ProductLanguage = 0;  // the product's foreign language: 1, 2 or 3
    std::int32_t ProductKind = 0;      // 1..6: lookup path and optional steps
    SelectedFileSet SelectedFiles;     // file indices handled by the update run
    std::uint8_t UpdateIndex = 0;      // row of UpdateTitle and UpdateVersion shown on screen
    std::int32_t TitleColumn = 1;      // UpdateTitle column: TitleColumnOf the display language
};

// The UpdateTitle column of a display language: 1 for Polish, 2 for any other.
inline std::int32_t TitleColumnOf(LanguageCode displayLanguage) noexcept {
    return displayLanguage == kPolish ? 1 : 2;
}

// The process-wide profile.
ProductProfile& Profile();

// Start-up sets the profile from the patcher's tables (the ones installed at start-up, unless others are given)
// in two steps around the creation of the windows: first which product this is, then (once the windows exist)
// which files and which update.
void SetProductIdentity(ProductProfile& profile, const PatchTables& tables = InstalledPatchTables());
void CompleteProfile(ProductProfile& profile, const PatchTables& tables = InstalledPatchTables());

// The product family's constant tables. Every index is one-based, as the profile stores it; an index outside a
// table throws std::out_of_range (no caller passes one).
ByteStringView ProductKeyTable(int productIndex);  // 1..10
ByteStringView FileName(int fileIndex);            // 1..12

// The length of the longest FileName: a folder of the product must leave room for it in a path.
std::size_t LongestFileName() noexcept;

// The title (column 1 Polish, 2 foreign) and version of the update that this patcher brings, from its
// installed tables: the row of its UpdateIndex, the one row it carries. Any other row or column throws
// std::out_of_range (no caller asks for one).
ByteStringView UpdateVersion(int fileIndex);
ByteStringView UpdateTitle(int fileIndex, int column);

// The version that this patcher's update brings, for what names the patcher before the profile is complete
// (the first line of its log).
ByteStringView BuildUpdateVersion();

}  // namespace patcher

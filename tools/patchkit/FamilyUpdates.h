#pragma once

#include <string_view>

namespace patcher::patchkit {

// How the product family names the update of each of its files, one row per file index: the title in Polish
// and in the product's foreign language, and the version. A description that gives no UpdateTitle or
// UpdateVersion of its own takes them from the row of its UpdateIndex. Written in UTF-8, as descriptions are.
struct FamilyUpdate {
    std::string_view PolishTitle;
    std::string_view ForeignTitle;
    std::string_view Version;
};

// The row of file fileIndex, 1..12; throws std::out_of_range for any other.
const FamilyUpdate& FamilyUpdateOf(int fileIndex);

}  // namespace patcher::patchkit

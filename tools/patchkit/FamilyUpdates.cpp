#include "tools/patchkit/FamilyUpdates.h"

#include <array>
#include <stdexcept>
#include <string>

#include "common/FileIndex.h"

namespace patcher::patchkit {
namespace {

// Rows 2..7 name one product in both columns (rows 4..7 share a title); rows 8..12 belong to the German edition
// and carry its German title in the foreign column.
constexpr std::array<FamilyUpdate, kFileCount> kFamilyUpdates = {{
    {"Vokarion Języka Angielskiego", "Vokarion Języka Angielskiego", "1.5.3"},
    {"Vokarion Interaktywny", "Vokarion Interaktywny", "1.3"},
    {"Vokarion Niemiecko-Polski", "Vokarion Niemiecko-Polski", "1.02"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego", "1.1"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego", "1.1"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego", "1.1"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego", "1.1"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch", "2.1"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch", "2.1"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch", "2.1"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch", "2.1"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch", "2.1"},
}};

}  // namespace

const FamilyUpdate& FamilyUpdateOf(int fileIndex) {
    if (fileIndex < 1 || fileIndex > kFileCount) {
        throw std::out_of_range("the family has no update of file " + std::to_string(fileIndex));
    }
    return kFamilyUpdates[static_cast<std::size_t>(fileIndex - 1)];
}

}  // namespace patcher::patchkit

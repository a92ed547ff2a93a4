#include "profile/ProductProfile.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/FileIndex.h"

namespace patcher {
namespace {

constexpr std::array<ByteStringView, 10> kProductKeys = {
    "SOFTWARE\\Qordex\\FrVokarion", "SOFTWARE\\Qordex\\EngVokar",  "SOFTWARE\\Qordex\\EngVokar",
    "SOFTWARE\\Qordex\\DeuVokar2",  "SOFTWARE\\Qordex\\OVDeu",     "SOFTWARE\\Qordex\\EngVokar2",
    "SOFTWARE\\Qordex\\OVEng",      "SOFTWARE\\Qordex\\ItalVokar", "SOFTWARE\\Qordex\\EspVokar",
    "SOFTWARE\\Qordex\\RusVokar",
};

constexpr std::array<ByteStringView, kFileCount> kFileNames = {
    "VokarEn.exe", "VokarInt.exe", "DeuPol.exe", "VokarFr.exe", "VokarPl.exe",      "SlZewFr.exe",
    "SlZewPl.exe", "VokarDe.exe",  "VokarD.chm", "Sl_ZewD.chm", "DeInstalator.exe", "VkIntDe.exe",
};

template <typename Table>
const auto& Row(const Table& table, int index, const char* name) {
    if (index < 1 || static_cast<std::size_t>(index) > table.size()) {
        throw std::out_of_range(std::string(name) + " has no row " + std::to_string(index));
    }
    return table[static_cast<std::size_t>(index - 1)];
}

// The installed tables, which carry the title and version of one row: that of the update they bring.
const PatchTables& UpdateOf(int fileIndex, const char* name) {
    const PatchTables& tables = InstalledPatchTables();
    if (fileIndex != tables.UpdateIndex) {
        throw std::out_of_range(std::string(name) + " of this patcher has row " + std::to_string(tables.UpdateIndex) +
                                " alone, not " + std::to_string(fileIndex));
    }
    return tables;
}

}  // namespace

ProductProfile& Profile() {
    static ProductProfile profile;
    return profile;
}

void SetProductIdentity(ProductProfile& profile, const PatchTables& tables) {
    profile.ProductIndex = tables.ProductIndex;
    profile.ProductLanguage = tables.ProductLanguage;
    profile.ProductKind = tables.ProductKind;
}

void CompleteProfile(ProductProfile& profile, const PatchTables& tables) {
    profile.SelectedFiles.Bits = tables.SelectedFiles;
    profile.UpdateIndex = tables.UpdateIndex;
}

ByteStringView ProductKeyTable(int productIndex) {
    return Row(kProductKeys, productIndex, "ProductKeyTable");
}

ByteStringView FileName(int fileIndex) {
    return Row(kFileNames, fileIndex, "FileTable");
}

std::size_t LongestFileName() noexcept {
    std::size_t longest = 0;
    for (const ByteStringView name : kFileNames) {
        longest = std::max(longest, name.size());
    }
    return longest;
}

ByteStringView UpdateVersion(int fileIndex) {
    return UpdateOf(fileIndex, "UpdateVersion").UpdateVersion;
}

ByteStringView BuildUpdateVersion() {
    return InstalledPatchTables().UpdateVersion;
}

ByteStringView UpdateTitle(int fileIndex, int column) {
    const PatchTables& tables = UpdateOf(fileIndex, "UpdateTitle");
    if (column != 1 && column != 2) {
        throw std::out_of_range("UpdateTitle has no column " + std::to_string(column));
    }
    return tables.UpdateTitle[static_cast<std::size_t>(column - 1)];
}

}  // namespace patcher

#include "profile/ProductProfile.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "profile/BuildProfile.h"
#include "profile/FileIndex.h"

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

constexpr std::array<ByteStringView, kFileCount> kUpdateVersions = {
    "1.5.3", "1.3", "1.02", "1.1", "1.1", "1.1", "1.1", "2.1", "2.1", "2.1", "2.1", "2.1",
};

struct TitlePair {
    ByteStringView Polish;
    ByteStringView Foreign;
};

// The product family's titles. Rows 2..7 name one product in both columns (rows 4..7 share a title);
// rows 8..12 belong to the German edition and carry its German title in column 2. This file is stored
// in Windows-1250 by the build.
constexpr std::array<TitlePair, kFileCount> kUpdateTitles = {{
    {"Vokarion Języka Angielskiego", "Vokarion Języka Angielskiego"},
    {"Vokarion Interaktywny", "Vokarion Interaktywny"},
    {"Vokarion Niemiecko-Polski", "Vokarion Niemiecko-Polski"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego"},
    {"Vokarion Języka Francuskiego", "Vokarion Języka Francuskiego"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch"},
    {"Vokarion Języka Niemieckiego", "Vokarion Deutsch-Polnisch"},
}};

template <typename Table>
const auto& Row(const Table& table, int index, const char* name) {
    if (index < 1 || static_cast<std::size_t>(index) > table.size()) {
        throw std::out_of_range(std::string(name) + " has no row " + std::to_string(index));
    }
    return table[static_cast<std::size_t>(index - 1)];
}

}  // namespace

ProductProfile& Profile() {
    static ProductProfile profile;
    return profile;
}

void SetProductIdentity(ProductProfile& profile) {
    profile.ProductIndex = kBuildProfile.ProductIndex;
    profile.ProductLanguage = kBuildProfile.ProductLanguage;
    profile.ProductKind = kBuildProfile.ProductKind;
}

void CompleteProfile(ProductProfile& profile) {
    profile.SelectedFiles.Bits = kBuildProfile.SelectedFiles;
    profile.UpdateIndex = kBuildProfile.UpdateIndex;
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
    return Row(kUpdateVersions, fileIndex, "UpdateVersion");
}

ByteStringView BuildUpdateVersion() {
    return UpdateVersion(kBuildProfile.UpdateIndex);
}

ByteStringView UpdateTitle(int fileIndex, int column) {
    const TitlePair& titles = Row(kUpdateTitles, fileIndex, "UpdateTitle");
    if (column == 1) {
        return titles.Polish;
    }
    if (column == 2) {
        return titles.Foreign;
    }
    throw std::out_of_range("UpdateTitle has no column " + std::to_string(column));
}

}  // namespace patcher

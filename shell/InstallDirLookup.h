#pragma once

#include <functional>

#include "common/ByteString.h"
#include "platform/Registry.h"
#include "profile/ProductProfile.h"
#include "shell/ProductFolder.h"

namespace patcher {

// Where the installers write their record: the value of this name, in the product's own key (ProductKeyTable) or,
// for the kinds whose record is the fixed key, under that key of the local machine.
inline constexpr ByteStringView kRecordValueName = "Katalog";
inline constexpr ByteStringView kFixedRecordKey = "Software\\Vokarion\\DeuVokarion";

// Finds the product's installation directory in the registry record that its installer wrote: the current
// user's hive first, then the local machine's; within a hive the scrambled value name before the plain
// "Katalog". Where the kind's record is the product key, the key of ProductKeyTable row ProductIndex is read
// and what it holds unscrambled with method ProductIndex and key 5; where it is the fixed key, "Katalog" under
// that key in the local machine's hive is read as it is (InstallRecordOf). Any failure ends that hive's attempt with
// nothing found, so the result is the directory as recorded (no delimiter added or removed, not tested for existence)
// or empty. Never throws.
ByteString FindInstallDir(const ProductProfile& profile, Registry& registry) noexcept;

// The code page that the product family's installers write their records in.
inline constexpr unsigned kInstallerCodePage = 1250;

// What finding the record's folder takes on the machine: the system's ANSI code page, and whether a folder
// named in it exists (none: every folder read counts as there).
struct RecordPlaces {
    unsigned AnsiCodePage = kInstallerCodePage;
    std::function<bool(ByteStringView)> FolderExists;
};

// The same, with the hive whose record it is as its source (an empty Path and no source: none found). Where
// the system's code page is not the installer's, each hive's record is read again as the installer wrote it
// whenever the A functions find none or a folder that is not there, and its folder is named in the system's
// code page; one that this code page cannot name comes back with the record's Windows-1250 text and the
// verdict NotInCodePage.
ProductFolder LocateInstallDir(const ProductProfile& profile, Registry& registry, const RecordPlaces& places) noexcept;

}  // namespace patcher

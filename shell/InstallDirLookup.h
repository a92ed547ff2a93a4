#pragma once

#include "common/ByteString.h"
#include "platform/Registry.h"
#include "profile/ProductProfile.h"
#include "shell/ProductFolder.h"

namespace patcher {

// Finds the product's installation directory in the registry record that its installer wrote: the current
// user's hive first, then the local machine's; within a hive the scrambled value name before the plain
// "Katalog". Where the kind's record is the product key, the key of ProductKeyTable row ProductIndex is read
// and what it holds unscrambled with method ProductIndex and key 5; where it is the fixed key, "Katalog" under
// that key in the local machine's hive is read as it is (InstallRecordOf). Any failure ends that hive's attempt with
// nothing found, so the result is the directory as recorded (no delimiter added or removed, not tested for existence)
// or empty. Never throws.
ByteString FindInstallDir(const ProductProfile& profile, Registry& registry) noexcept;

// The same, with the hive whose record it is as its source (an empty Path and no source: none found).
ProductFolder LocateInstallDir(const ProductProfile& profile, Registry& registry) noexcept;

}  // namespace patcher

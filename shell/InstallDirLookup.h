#pragma once

#include "profile/ProductProfile.h"
#include "common/ByteString.h"
#include "platform/Registry.h"

namespace patcher {

// Finds the product's installation directory in the registry record that its installer wrote: the current
// user's hive first, then the local machine's; within a hive the scrambled value name before the plain
// "Katalog". Kinds 1, 2, 3, 5 and 6 read the key of ProductKeyTable row ProductIndex and unscramble what they
// read with method ProductIndex and key 5; kind 4 reads "Katalog" under its fixed key in the local machine's
// hive, unscrambled-not. Any failure ends that hive's attempt with nothing found, so the result is the
// directory as recorded (no delimiter added or removed, not tested for existence) or empty. Never throws.
ByteString FindInstallDir(const ProductProfile& profile, Registry& registry) noexcept;

}  // namespace patcher

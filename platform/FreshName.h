#pragma once

#include <cstddef>

#include "common/ByteString.h"

namespace patcher {

// How long a fresh file name made to stand beside a file whose own name is `longestName` characters long
// is: as long as that name, so that it fits wherever the other fits, but within bounds that keep it both
// hard to guess and short.
std::size_t FreshNameLength(std::size_t longestName);

// A new random file name of FreshNameLength(longestName) characters: "~" and then lowercase letters and
// digits, so that no two differ only in case. Throws when the system has no random source.
ByteString FreshFileName(std::size_t longestName);

}  // namespace patcher

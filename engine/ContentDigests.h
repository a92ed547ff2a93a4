#pragma once

#include "tables/PatchTables.h"

namespace patcher {

// The digest of the new content of file fileIndex (1..12) in the installed patch tables, or nullptr where none
// is recorded.
const ContentDigest* NewContentDigest(int fileIndex);

}  // namespace patcher

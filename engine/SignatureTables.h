#pragma once

#include "tables/PatchTables.h"

namespace patcher {

// The table of a known version in the installed patch tables, or nullptr where the file has no such version
// (VersionSize is 0).
const SignatureTable* FindSignatureTable(int fileIndex, int version);

}  // namespace patcher

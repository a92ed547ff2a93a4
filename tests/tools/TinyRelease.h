#pragma once

#include <filesystem>
#include <string>

#include "tests/support/FileBytes.h"

namespace patcher::testing {

// A small release of file 10 (a row with one slot), which packs in a moment: two builds of a few kilobytes,
// 10/1/help.chm and 10/2/help.chm, which its description lists on lines 8 and 9 as builds 1 and 2. Ten lines in all.
inline const std::string kTinyDescription =
    "ProductIndex = 2\n"
    "ProductLanguage = 1\n"
    "ProductKind = 1\n"
    "UpdateIndex = 10\n"
    "SelectedFiles = [10]\n"
    "[File.10]\n"
    "# Build 2 is the newest.\n"
    "Versions.1 = \"10/1/help.chm\"\n"
    "Versions.2 = \"10/2/help.chm\"\n"
    "\n";

// The patcher of the tiny release: file 10 of the German family is Sl_ZewD.chm, and the family's version 2.1.
inline const std::string kTinyPatcher = "Sl_ZewD-2.1-patch.exe";

inline void WriteTinyRelease(const std::filesystem::path& release) {
    WriteFile(release / "10/1/help.chm", Noise(3000, 1));
    WriteFile(release / "10/2/help.chm", Noise(3100, 2));
}

}  // namespace patcher::testing

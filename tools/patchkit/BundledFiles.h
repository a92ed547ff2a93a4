#pragma once

#include <filesystem>
#include <string>

namespace patcher::patchkit {

// The Windows programs that ship with patchkit (the patcher's stubs, the record writers): beside patchkit in a
// build tree, where ./run puts them, and in <prefix>/lib/patchkit where patchkit is installed in
// <prefix>/bin.

// Where installed files of patchkit lie, relative to the folder of the program.
inline constexpr const char* kInstalledFilesFolder = "../lib/patchkit";

// The file of that name in the first of these places that holds one. Throws std::runtime_error naming both
// places where neither does, with `option`, which names the file instead, as the way out.
std::filesystem::path BundledFile(const std::string& name, const std::string& option);

// The same below the given folder of patchkit, for the tests.
std::filesystem::path BundledFileIn(const std::filesystem::path& ownFolder,
                                    const std::string& name,
                                    const std::string& option);

}  // namespace patcher::patchkit

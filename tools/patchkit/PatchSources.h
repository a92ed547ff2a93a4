#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "engine/ContentDigests.h"
#include "engine/VersionTables.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {

// Row i - 1 holds file index i, column v - 1 version v; 0 where the file has no such version.
using SizeTable = std::array<std::array<std::int32_t, kMaxVersions>, kFileCount>;

// The generated files of a build. Each names the description it comes from by its file name only, so that
// the same description gives the same bytes wherever it lies.

// engine/VersionTables.cpp: VersionSize and NewestVersion.
std::string RenderVersionTables(const PatchDescription& description, const SizeTable& sizes);

// engine/SignatureTables.cpp: the tables in file and version order.
std::string RenderSignatureTables(const PatchDescription& description, const std::vector<standin::PickedTable>& tables);

// engine/ContentDigests.cpp: the size and CRC-32 of each file's new content; size 0 where no file is described.
std::string RenderContentDigests(const PatchDescription& description,
                                 const std::array<ContentDigest, kFileCount>& digests);

// profile/BuildProfile.cpp: the five values of the build.
std::string RenderBuildProfile(const PatchDescription& description);

// PackedResources.rc: one RCDATA line per slot, naming its packed file in `folder` by absolute path. Throws
// std::invalid_argument for a name that is not a bare word or a place that the script cannot name.
std::string RenderResourceScript(const PatchDescription& description,
                                 const std::vector<ByteString>& names,
                                 const std::filesystem::path& folder);

// Patch.cmake: the names that a build of this patcher takes from UpdateIndex (its file's stem, the update's
// version, the update's Polish title for the version information).
std::string RenderPatchCmake(const PatchDescription& description);

// Text as a comment of a generated file may hold it, whatever the language (C++, CMake, a resource script):
// printable ASCII as it is, every other byte and the backslash as \x and two hex digits. A line break would
// end the comment and put the rest of the name into the file as code; a final backslash would continue a
// C++ comment onto the next line.
std::string CommentText(std::string_view text);

// Refuses a path that a resource script cannot name a file with: one holding a control character, a
// double quote or a backslash. Throws std::invalid_argument whose text continues a sentence about the path
// ("holds a double quote, which ...").
void CheckScriptPath(std::string_view path);

// A Windows-1250 text as the body of a wide string of the resource compiler: printable ASCII as it is
// (quotes doubled, backslashes escaped), every other character as \x and four hex digits of its UTF-16 code.
// Throws std::invalid_argument for a byte that Windows-1250 leaves undefined.
std::string ResourceWideText(ByteStringView text);

}  // namespace patcher::patchkit

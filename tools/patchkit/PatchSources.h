#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteString.h"
#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

// What `patchkit build` and `patchkit describe` write as text. Each names the description it comes from by
// its file name only, so that the same description gives the same bytes wherever it lies.

// PackedResources.rc: one RCDATA line per resource (the tables and each slot), naming its file
// `folder`/<name>.packed by absolute path. Throws std::invalid_argument for a name that is not a bare word or a
// place that the script cannot name.
std::string RenderResourceScript(const PatchDescription& description,
                                 const std::vector<ByteString>& names,
                                 const std::filesystem::path& folder);

// Patch.cmake: the names that a build of this patcher takes from its update (the stem of UpdateIndex's file, the
// update's version, its Polish title for the version information).
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

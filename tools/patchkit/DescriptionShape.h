#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

// A description is a few kilobytes of hand-written text; one larger than this is refused unread.
inline constexpr std::size_t kMaxDescriptionBytes = 1 << 20;

// How deeply a description may nest tables, arrays and keys, as CheckDescriptionShape counts: the format
// needs 10 ([File.N.Versions] counts 6, a build's number 1, its inline table 2 and Leading's array 1).
inline constexpr int kMaxDescriptionDepth = 32;

// What is checked before the TOML reader sees a text: its size, how deeply it nests, and that it holds ASCII
// alone outside strings and comments and after a backslash in a string (as TOML requires; the reader's
// handling of other characters there has no defined behaviour). The reader recurses over nested tables,
// and a description nested tens of thousands of levels deep ("[a.a.a...]", a dotted key, arrays in
// arrays) would overflow its stack. The count errs upwards: each part of a table header counts 2 (it may
// be an array of tables and a table in it), each part of a key 1, and each array and inline table 1.
// Throws DescriptionError naming the line.
void CheckDescriptionShape(std::string_view text, const std::string& source);

}  // namespace patcher::patchkit

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/LanguageCode.h"

namespace patcher::patchkit {

// A patch description: the hand-written TOML file that says which product and update a patcher serves and
// where the files of every known build of the family lie (descriptions/*.toml shows the format). Lines are
// those of the description, for messages.

struct DescribedBuild {
    int Version = 0;
    std::string Path;                   // relative to the release folder, as written
    std::vector<std::int32_t> Leading;  // the offsets its signature table begins with
    std::vector<int> LeadingLines;      // where each of them is written
    int Line = 0;                       // where the build is listed
};

struct DescribedFile {
    int FileIndex = 0;
    std::vector<DescribedBuild> Builds;  // oldest first; the last is the new content that the update brings
    int Line = 0;
    // On a row of two slots: how many bytes of the new content slot 1 takes (slot 2 the rest). Without it
    // the build chooses (see standin::DefaultFirstSlotBytes).
    std::optional<std::int32_t> FirstSlotBytes;
    int FirstSlotLine = 0;
};

struct PatchDescription {
    std::string Source;  // the description's path as given: messages begin with it
    std::string Name;    // its file name, which the generated files name
    std::int32_t ProductIndex = 0;
    LanguageCode ProductLanguage = 0;
    std::int32_t ProductKind = 0;
    std::uint8_t UpdateIndex = 0;
    std::vector<int> SelectedFiles;  // ascending
    std::vector<int> SelectedLines;  // where each of them is written
    // Ascending file index. A file that the description leaves out has no known build: no table recognises
    // it and the patcher cannot rewrite it, so it may not be selected.
    std::vector<DescribedFile> Files;

    const DescribedFile* FindFile(int fileIndex) const;

    // A message about a line of the description: "descriptions/x.toml:14: text" (no line number for 0), with
    // the description's path as Shown.
    std::string At(int line, std::string_view text) const;
};

// A description is a few kilobytes of hand-written text; one larger than this is refused unread.
inline constexpr std::size_t kMaxDescriptionBytes = 1 << 20;

// How deeply a description may nest tables, arrays and keys, as CheckDescriptionShape counts: the format
// needs 9 ([File.N] counts 4, Versions 1, its array 1, a build's table 1, Leading 1 and its array 1).
inline constexpr int kMaxDescriptionDepth = 32;

// A description that cannot be used, or a build that it cannot make. The message is one line that begins
// with the description's path and the line concerned.
class DescriptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What is checked before the TOML reader sees a text: its size, how deeply it nests, and that it holds ASCII
// alone outside strings and comments and after a backslash in a string (as TOML requires; the reader's
// handling of other characters there has no defined behaviour). The reader recurses over nested tables,
// and a description nested tens of thousands of levels deep ("[a.a.a...]", a dotted key, arrays in
// arrays) would overflow its stack. The count errs upwards: each part of a table header counts 2 (it may
// be an array of tables and a table in it), each part of a key 1, and each array and inline table 1.
// Throws DescriptionError naming the line.
void CheckDescriptionShape(std::string_view text, const std::string& source);

// Reads and checks a description: only a regular file (not a FIFO or a device) of at most
// kMaxDescriptionBytes, its shape, syntax, keys, types and ranges. Throws DescriptionError.
PatchDescription ReadPatchDescription(const std::string& path);

// The same for a description's text; `source` is the path that messages name.
PatchDescription ParsePatchDescription(std::string_view text, const std::string& source);

}  // namespace patcher::patchkit

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/ByteString.h"
#include "common/LanguageCode.h"

namespace patcher::patchkit {

// A patch description: the hand-written TOML file that says which product and update a patcher serves and
// where the files of every known build of the family lie (descriptions/*.toml shows the format). Lines are
// those of the description, for messages.

struct DescribedBuild {
    int Version = 0;                    // its number, 1..255, as the description gives it
    std::string Path;                   // relative to the release folder, as written
    std::vector<std::int32_t> Leading;  // the offsets its signature table begins with
    std::vector<int> LeadingLines;      // where each of them is written
    int Line = 0;                       // where the build is listed
};

struct DescribedFile {
    int FileIndex = 0;
    std::vector<DescribedBuild> Builds;  // in ascending numbers; the last, the highest, is the new content
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
    // The update as the window, the log and the exe's name give it, in Windows-1250: the title in Polish and in
    // the foreign language, and the version; where the description gives none, the family's for UpdateIndex.
    std::array<ByteString, 2> UpdateTitle;
    ByteString UpdateVersion;
    int UpdateTitleLine = 0;  // where they are written; 0 for the family's
    int UpdateVersionLine = 0;
    // Ascending file index. A file that the description leaves out has no known build: no table recognises
    // it and the patcher cannot rewrite it, so it may not be selected.
    std::vector<DescribedFile> Files;

    const DescribedFile* FindFile(int fileIndex) const;

    // A message about a line of the description: "descriptions/x.toml:14: text" (no line number for 0), with
    // the description's path as Shown.
    std::string At(int line, std::string_view text) const;

    // Throws DescriptionError with that message.
    [[noreturn]] void Refuse(int line, std::string_view text) const;
};

// A file index as the maintainer writes it, in a description's table header or on the command line: decimal
// digits alone (no sign, no blank, no leading zero), read as a number; nullopt for anything else.
std::optional<int> FileIndexOf(std::string_view written);

// A description that cannot be used, or a build that it cannot make. The message is one line that begins
// with the description's path and the line concerned.
class DescriptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace patcher::patchkit

#pragma once

#include <array>

#include "common/ByteString.h"

namespace patcher {

// Paths as the product's records, the open-file dialog and the system give them: components between "\" or
// "/", after a drive ("C:") or a share ("\\server\share"), in the system's code page. In a double-byte code
// page (Japanese, Chinese, Korean) the second byte of a character may be the byte of "\": every step below
// walks the path character by character, so that such a byte never counts as a delimiter.

// The lead bytes of the system's double-byte code page; none in a single-byte one or in UTF-8, where the byte
// of "\" is only ever "\". Start-up sets them once, before any path is looked at (SetPathLeadBytes).
inline std::array<bool, 256>& PathLeadBytes() noexcept {
    static std::array<bool, 256> leads{};
    return leads;
}
inline void SetPathLeadBytes(const std::array<bool, 256>& leads) noexcept {
    PathLeadBytes() = leads;
}

// The longest path that the system's A file functions take, in UTF-16 units (MAX_PATH less its zero).
inline constexpr std::size_t kLongestPath = 259;

inline bool IsPathDelimiter(char c) noexcept {
    return c == '\\' || c == '/';
}

// The length of the character that starts at `at`: two bytes for a lead byte with a byte after it.
inline std::size_t CharacterLength(ByteStringView path, std::size_t at) noexcept {
    return PathLeadBytes()[static_cast<unsigned char>(path[at])] && at + 1 < path.size() ? 2 : 1;
}

// Where the first delimiter at or after `from` (a character's start) is; npos where none is.
inline std::size_t NextDelimiter(ByteStringView path, std::size_t from) noexcept {
    for (std::size_t at = from; at < path.size(); at += CharacterLength(path, at)) {
        if (IsPathDelimiter(path[at])) {
            return at;
        }
    }
    return ByteStringView::npos;
}

// The last run of delimiters in a row: where it begins and where it ends (after its last delimiter); both
// npos where the path has none.
struct DelimiterRun {
    std::size_t Begin = ByteStringView::npos;
    std::size_t End = ByteStringView::npos;
};
inline DelimiterRun LastDelimiterRun(ByteStringView path) noexcept {
    DelimiterRun run;
    for (std::size_t at = 0; at < path.size(); at += CharacterLength(path, at)) {
        if (!IsPathDelimiter(path[at])) {
            continue;
        }
        if (run.End != at) {
            run.Begin = at;
        }
        run.End = at + 1;
    }
    return run;
}

// Whether the path's last character is a delimiter.
inline bool EndsInDelimiter(ByteStringView path) noexcept {
    return !path.empty() && LastDelimiterRun(path).End == path.size();
}

// A path that names the same place whatever the current folder and drive: "X:\..." or "\\server\share\...".
// "Vokarion", ".\Vokarion", "\Vokarion" and "C:Vokarion" all depend on them.
inline bool IsFullPath(ByteStringView path) noexcept {
#ifndef _WIN32
    // On the hosts that the tests and benchmarks run the same code on, a path from the root is one too.
    if (path.starts_with('/')) {
        return true;
    }
#endif
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && IsPathDelimiter(path[2])) {
        return true;
    }
    return path.size() >= 3 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1]) && !IsPathDelimiter(path[2]);
}

// Where the last component of path starts: after its last delimiter, or after the colon of a drive.
inline std::size_t NameStart(ByteStringView path) noexcept {
    const DelimiterRun run = LastDelimiterRun(path);
    if (run.End != ByteStringView::npos) {
        return run.End;
    }
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

// The last component of path: a file's name without its folder.
inline ByteStringView NameOf(ByteStringView path) noexcept {
    return path.substr(NameStart(path));
}

// The folder that holds the last component of path, without the delimiter between them, except where that
// delimiter is the root's: the folder of "C:\VokarEn.exe" is "C:\", since "C:" alone names the current folder
// of drive C. Empty when path has no folder part.
inline ByteString FolderOf(ByteStringView path) {
    const std::size_t start = NameStart(path);
    if (start == 0) {
        return {};
    }
    const DelimiterRun run = LastDelimiterRun(path);
    // Delimiters in a row count as one; those that begin the path are its root.
    const std::size_t end = run.End == start ? run.Begin : start;
    const bool root = end == 0 || (end == 2 && path[1] == ':');
    return ByteString(path.substr(0, root ? start : end));
}

}  // namespace patcher

#pragma once

#include "common/ByteString.h"

namespace patcher {

// Paths as the product's records, the open-file dialog and the system give them: components between "\" or
// "/", after a drive ("C:") or a share ("\\server\share").

inline bool IsPathDelimiter(char c) noexcept {
    return c == '\\' || c == '/';
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
    const std::size_t delimiter = path.find_last_of("\\/");
    if (delimiter != ByteStringView::npos) {
        return delimiter + 1;
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
    std::size_t end = start;
    // Delimiters in a row count as one; those that begin the path are its root.
    while (end > 0 && IsPathDelimiter(path[end - 1])) {
        --end;
    }
    const bool root = end == 0 || (end == 2 && path[1] == ':');
    return ByteString(path.substr(0, root ? start : end));
}

}  // namespace patcher

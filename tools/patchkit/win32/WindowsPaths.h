#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/UniqueHandle.h"

namespace patcher::patchkit::win32 {

using patcher::win32::UniqueFileHandle;

// What the Windows side of patchkit's file layer shares. Paths reach the W functions in their extended form
// ("\\?\C:\..." or "\\?\UNC\server\share\..."), which the system takes as they are and up to 32,767
// characters long; real places are the final paths that the system gives an opened file or folder
// (GetFinalPathNameByHandleW), which are in that form too, so that two of them compare as text.

// The extended form of a path: made whole as Windows reads a path ("/" as "\", "." and ".." resolved, relative
// to the current folder), then prefixed. A path in that form already, or a device's ("\\.\"), stays as it is.
// Throws ReadError.
std::wstring ExtendedPath(const std::filesystem::path& path);

// A path in UTF-8 as people write it, for messages: an extended path without its prefix ("C:\...",
// "\\server\share\...").
std::string Written(std::wstring_view path);

// A folder's path and a name in it, joined by one "\".
std::wstring Joined(std::wstring_view folder, std::wstring_view name);

// The folder of an extended path and the last name in it; the folder of a name in a drive's root or a share's
// keeps its final "\" ("\\?\C:\"). The name is empty for the root itself.
std::pair<std::wstring, std::wstring> SplitLast(const std::wstring& path);

// Whether two names or paths are the same to the file system: letter for letter, whatever their case.
bool SameNames(std::wstring_view a, std::wstring_view b);

// Opens a file or folder only to look at it: no right to its contents is asked, nothing is kept from others,
// and a link is followed unless `flags` ask for FILE_FLAG_OPEN_REPARSE_POINT. Empty where it cannot be opened
// (GetLastError says why).
UniqueFileHandle OpenToLook(const std::wstring& path, DWORD flags = 0);

// The final path of an opened file or folder. Throws ReadError.
std::wstring FinalPath(HANDLE handle);

// Whether the system's error number means that nothing is at a path.
bool IsNotFound(DWORD error);

// ReadError with the system's words for its error number.
[[noreturn]] void ThrowReadError(DWORD error);

// Reads a whole regular file of at most `limit` bytes through an opened handle, as ReadRegularFile does.
// Throws ReadError.
std::vector<std::uint8_t> ReadOpenHandle(HANDLE handle, std::uint64_t limit, const std::string& limitText);

}  // namespace patcher::patchkit::win32

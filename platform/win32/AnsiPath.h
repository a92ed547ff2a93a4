#pragma once

#include <cstddef>

#include "common/ByteString.h"

namespace patcher::win32 {

// Where the last component of a path in a code page of the A functions starts: after its last "\" or "/", or
// after the colon of a drive ("C:"). The path is read character by character: in the double-byte code pages
// (932, 936, 949, 950) the second byte of a character can be the byte of "\", and is none. `path` must hold
// no zero byte.
std::size_t NameStartInCodePage(const ByteString& path, unsigned codePage);

// The same in the system's ANSI code page, which the A functions read paths in.
std::size_t AnsiNameStart(const ByteString& path);

}  // namespace patcher::win32

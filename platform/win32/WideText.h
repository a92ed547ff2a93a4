#pragma once

#include <string>

#include "common/ByteString.h"

namespace patcher::win32 {

// The code pages that the system's texts are drawn in.
inline constexpr unsigned kCodePageCentralEurope = 1250;

// Decodes single-byte text in the given code page into UTF-16 for the W functions at the window edge.
// Every byte becomes a character, zero bytes included. Throws PlatformError when the code page is unknown.
std::wstring WideFromBytes(ByteStringView bytes, unsigned codePage);

}  // namespace patcher::win32

#pragma once

#include <string>
#include <string_view>

#include "common/ByteString.h"

namespace patcher::win32 {

// The code pages that the system's texts are drawn in.
inline constexpr unsigned kCodePageCentralEurope = 1250;

// Decodes single-byte text in the given code page into UTF-16 for the W functions at the window edge.
// Every byte becomes a character, zero bytes included. Throws PlatformError when the code page is unknown.
std::wstring WideFromBytes(ByteStringView bytes, unsigned codePage);

// Encodes UTF-16 text from a W function in the given code page (CP_ACP for a path that the A functions are to
// reach, CP_UTF8 for a file read by people). Throws PlatformError when a character has no exact equivalent in
// the code page: a near one would name another file.
ByteString BytesFromWide(std::wstring_view text, unsigned codePage);

// How BytesFromWide calls WideCharToMultiByte for a code page, the system's ANSI one being `ansiCodePage`.
// CP_ACP is resolved first: where it is UTF-8 (65001, as "Use Unicode UTF-8 for worldwide language support"
// makes it), Windows refuses the best-fit flag and the used-default pointer, so a lost character is found by
// converting back instead.
struct WideConversion {
    unsigned CodePage = 0;
    unsigned long Flags = 0;
    bool AsksUsedDefault = false;  // passes a used-default pointer
};
WideConversion WideConversionFor(unsigned codePage, unsigned ansiCodePage) noexcept;

// UTF-16 text as UTF-8 for people to read; an unpaired surrogate becomes U+FFFD. Never throws but for memory.
std::string Utf8FromWide(std::wstring_view text);

}  // namespace patcher::win32

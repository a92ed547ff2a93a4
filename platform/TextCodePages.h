#pragma once

#include <array>
#include <optional>
#include <string>

#include "common/ByteString.h"

namespace patcher {

inline constexpr unsigned kCodePageUtf8 = 65001;

// The system's ANSI code page: the one that the file functions read paths in, and so the one that a path
// given to them (from the registry, the command line or a dialog) is written in.
unsigned AnsiCodePage() noexcept;

// Single-byte text in the code page (1250, 1251, 1252, ... or kCodePageUtf8) as UTF-8. A byte that the code
// page leaves undefined becomes U+FFFD. Never throws for any bytes.
std::string Utf8FromCodePage(ByteStringView text, unsigned codePage);

// The lead bytes of the system's ANSI code page where it is a double-byte one (none for the others and UTF-8).
std::array<bool, 256> AnsiLeadBytes() noexcept;

// Text in one code page as the same characters in another; nothing when a character of it has no exact
// equivalent there (or a code page is unknown).
std::optional<ByteString> Reencoded(ByteStringView text, unsigned from, unsigned to);

// How many UTF-16 units the text in the code page becomes: what the system's path limits count.
std::size_t Utf16Length(ByteStringView text, unsigned codePage);

}  // namespace patcher

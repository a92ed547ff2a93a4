#pragma once

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

}  // namespace patcher

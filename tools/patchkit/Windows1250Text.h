#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "common/ByteString.h"

namespace patcher::patchkit {

// A description is written in UTF-8; the patcher keeps every text as Windows-1250 bytes. These convert between
// the two at the tool's edges.

// A character of a text that Windows-1250 has no byte for, or bytes that are not UTF-8 at all. The message
// names it, to continue "the title ...": "holds "ŝ" (U+015D), which Windows-1250 has no letter for".
class NotWindows1250 : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// UTF-8 text as Windows-1250 bytes. Throws NotWindows1250.
ByteString Windows1250FromUtf8(std::string_view utf8);

// Windows-1250 bytes as UTF-8. Throws NotWindows1250 for a byte that the code page leaves undefined.
std::string Utf8FromWindows1250(ByteStringView text);

// The UTF-16 unit of one Windows-1250 byte. Throws NotWindows1250 for a byte that the code page leaves
// undefined.
char16_t Utf16OfWindows1250Byte(char byte);

}  // namespace patcher::patchkit

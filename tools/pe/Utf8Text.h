#pragma once

#include <string>
#include <string_view>

namespace patcher::pe {

// Text that a program file holds, as UTF-8 for the maintainers' terminal. A code point that is no character
// (a surrogate, or one beyond U+10FFFF) becomes U+FFFD, so that what is printed is always well-formed UTF-8.

void AppendUtf8(std::string& text, char32_t c);

// UTF-16, with a surrogate that has no partner read as U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace patcher::pe

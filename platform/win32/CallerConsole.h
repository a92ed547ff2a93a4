#pragma once

#include <string_view>

namespace patcher::win32 {

// Writes the text to whoever started this windowless program, where there is someone: to the standard output
// it was given (a file or a pipe, in UTF-8), else to the console of the process that started it (a command
// prompt), else nowhere. Never fails.
void WriteToCaller(std::wstring_view text) noexcept;

}  // namespace patcher::win32

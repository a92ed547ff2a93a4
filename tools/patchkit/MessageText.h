#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace patcher::patchkit {

// Every message of patchkit is one line that names what the maintainer gave (a path, a name, a value of the
// description) and why it is refused. Such text may hold anything a path or a TOML string can: a line break,
// a NUL, megabytes of it. These helpers keep a message one readable line whatever it names.

// The most bytes of maintainer text that a message shows; longer text keeps its start and its end.
inline constexpr std::size_t kShownBytes = 160;

// Maintainer text as a message shows it: control characters (a NUL, a line break, ...) as escapes (\n, \t,
// \r, \xHH), and text longer than kShownBytes shortened in its middle to "start...end (N bytes)".
std::string Shown(std::string_view text);

// The same, in double quotes.
std::string Quoted(std::string_view text);

// A whole message as it is printed: control characters escaped, at most a few kilobytes.
std::string OneLine(std::string_view message);

// The system's words for an error number: "No space left on device".
std::string Reason(int error);

}  // namespace patcher::patchkit

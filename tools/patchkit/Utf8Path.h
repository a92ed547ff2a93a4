#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace patcher::patchkit {

// patchkit carries paths as UTF-8 text, as its command line gives them on every host (on Windows, decoded from
// the wide command line), and makes a path of the text only where the system is called: on Linux of the very
// bytes, on Windows of the UTF-16 that the W functions take. A std::filesystem::path made from a plain string
// would read the bytes in the C library's locale on Windows instead.
std::filesystem::path PathFromUtf8(std::string_view text);

// A path's text in UTF-8, for messages and for what a command prints.
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace patcher::patchkit

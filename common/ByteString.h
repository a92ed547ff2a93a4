#pragma once

#include <string>
#include <string_view>

namespace patcher {

// Every text of the system (file names, paths, registry names and values, messages) is a counted string of
// Windows-1250 bytes. It only becomes UTF-16 at the window edge.
using ByteString = std::string;
using ByteStringView = std::string_view;

}  // namespace patcher

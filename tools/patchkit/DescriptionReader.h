#pragma once

#include <string>
#include <string_view>

#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

// Reads and checks a description: only a regular file (not a FIFO or a device) of at most
// kMaxDescriptionBytes, its shape, syntax, keys, types and ranges. Throws DescriptionError.
PatchDescription ReadPatchDescription(const std::string& path);

// The same for a description's text; `source` is the path that messages name.
PatchDescription ParsePatchDescription(std::string_view text, const std::string& source);

}  // namespace patcher::patchkit

#pragma once

#include <string>
#include <string_view>

#include "tools/patchkit/PatcherInspection.h"

namespace patcher::patchkit {

// What `patchkit inspect` prints of a patcher: one fact per line, texts in UTF-8 (the tables' Windows-1250
// converted, the version information's UTF-16 too), anything the exe holds shown with its control characters
// escaped. `name` is the exe as the maintainer gave it.
std::string InspectionText(const PatcherInspection& inspection, std::string_view name);

}  // namespace patcher::patchkit

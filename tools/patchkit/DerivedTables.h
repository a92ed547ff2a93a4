#pragma once

#include <vector>

#include "engine/untPatcher.h"
#include "tables/PatchTables.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {

// The signature tables of every known build, picked from the release's files. Throws DescriptionError
// naming the build whose samples cannot tell it from the others, or tell it from another build of its size
// by fewer than two bytes (RefuseLookalikes).
std::vector<standin::PickedTable> PickTables(const PatchDescription& description, const std::vector<LoadedFile>& files);

// The tables of the patcher, as recognition runs over them before they are written out: the profile and the
// update's texts from the description, and for each described file the sizes and picked samples of its builds,
// its newest build's number, and its new content's digest.
PatchTables DerivePatchTables(const PatchDescription& description,
                              const std::vector<LoadedFile>& files,
                              const std::vector<standin::PickedTable>& picked);

}  // namespace patcher::patchkit

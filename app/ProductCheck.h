#pragma once

#include "app/RunOptions.h"
#include "app/RunView.h"
#include "app/UpdateRunSystem.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The check that /CHECK asks for, for deployment tools that decide whether to run the update: finds the
// folder as a run does (asking nobody for the program file) and recognises every selected file; writes
// nothing. The folder and each file's state go to the view. Returns the exit code: 0 when every file is
// current, 5 when some file is out of date or absent and one that the update creates (and the rest current),
// 1 when some file is of an unknown build, unreadable, or absent and not creatable, 2 when no folder is found,
// 6 when the patcher itself failed at a file (its memory, its data).
int CheckProduct(const ProductProfile& profile, UpdateRunSystem& system, const RunOptions& options, RunView& view);

}  // namespace patcher

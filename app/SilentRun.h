#pragma once

#include "app/RunOptions.h"
#include "app/RunView.h"
#include "app/UpdateRunSystem.h"
#include "common/LanguageCode.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The run that /S starts at once: the update run that btnUpdate starts, with no window and no dialog. What
// the window would show goes to the view (the log, if one is kept); the product kind that would ask for the
// program file asks nobody. The display language is `language` throughout. Returns the exit code.
int RunSilently(const ProductProfile& profile,
                UpdateRunSystem& system,
                const RunOptions& options,
                LanguageCode language,
                RunView& view);

}  // namespace patcher

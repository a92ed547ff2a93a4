#pragma once

#include "app/RunReport.h"
#include "app/UpdateRun.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The run that /S starts at once: the update run that btnUpdate starts, with no window and no dialog. What
// the window would show goes to the report (the log, if one is given); the product kind that would ask for
// the program file asks nobody. The display language is `language` throughout. Returns the exit code.
int RunSilently(ProductProfile& profile, UpdateRunSystem& system, LanguageCode language, RunReport& report);

}  // namespace patcher

#pragma once

#include "app/RunOptions.h"
#include "app/RunState.h"
#include "app/RunView.h"
#include "app/UpdateRunSystem.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The update run that btnUpdate starts: finds the product, recognises each selected file, rewrites the
// out-of-date ones and creates the absent ones that may be created, shows every file as a line of the main
// text and every problem in the message dialog, and ends with a summary. Every message is taken in the
// display language of `state` at the moment it is shown, so a language change during the run carries on in
// the new language. Whatever escapes one of its steps (no memory, say) ends it as a failed run: summary 273,
// the buttons enabled again, PatcherFailed set. Only an installation directory given as a full path counts:
// one relative to the current folder ("Vokarion", "C:Vokarion") is damaged data, as if none were recorded.
void RunUpdate(const ProductProfile& profile,
               RunState& state,
               RunView& view,
               UpdateRunSystem& system,
               const RunOptions& options);

}  // namespace patcher

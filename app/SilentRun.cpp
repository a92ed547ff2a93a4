#include "app/SilentRun.h"

#include "app/ExitCodes.h"
#include "app/UpdateRun.h"

namespace patcher {

int RunSilently(const ProductProfile& profile,
                UpdateRunSystem& system,
                const RunOptions& options,
                LanguageCode language,
                RunView& view) {
    RunState state;
    state.DisplayLanguage = language;
    RunUpdate(profile, state, view, system, options);
    return ExitCodeOf(state);
}

}  // namespace patcher

#include "app/Startup.h"

namespace patcher {

int RunStartup(ProductProfile& profile, StartupSteps& steps) {
    SetProductIdentity(profile);
    if (const std::optional<int> ended = steps.ReadCommandLine(profile)) {
        return *ended;
    }
    steps.CreateMainWindow();
    steps.CreateMessageDialog();
    CompleteProfile(profile);
    return steps.RunMessageLoop();
}

}  // namespace patcher

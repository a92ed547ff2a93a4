#include "app/Startup.h"

namespace patcher {

int RunStartup(ProductProfile& profile, StartupSteps& steps) {
    SetProductIdentity(profile);
    steps.CreateMainWindow();
    steps.CreateMessageDialog();
    CompleteProfile(profile);
    return steps.RunMessageLoop();
}

}  // namespace patcher

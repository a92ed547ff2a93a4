#pragma once

#include "profile/ProductProfile.h"

namespace patcher {

// What start-up asks of the program's window layer, in the order it asks it.
class StartupSteps {
  public:
    virtual ~StartupSteps() = default;

    virtual void CreateMainWindow() = 0;     // created hidden; becomes the application's main window
    virtual void CreateMessageDialog() = 0;  // created hidden, reused for every message
    virtual int RunMessageLoop() = 0;        // shows the main window and runs until it closes
};

// Runs the program from start to end. The order matters: the main window reads the profile only when it is
// shown, which happens in the message loop, after the profile is complete. Returns the loop's exit code.
int RunStartup(ProductProfile& profile, StartupSteps& steps);

}  // namespace patcher

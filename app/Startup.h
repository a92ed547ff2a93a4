#pragma once

#include <optional>

#include "profile/ProductProfile.h"

namespace patcher {

// What start-up asks of the program's platform side, in the order it asks it. Without a window (/S, /CHECK)
// the two windows are not made and the "message loop" is the run or the check itself.
class StartupSteps {
  public:
    virtual ~StartupSteps() = default;

    // Understands the command line by the product's identity (the languages its window offers) and opens the
    // log it names. An exit code ends the program here: a refused command line, or the help shown.
    virtual std::optional<int> ReadCommandLine(const ProductProfile& profile) = 0;
    virtual void CreateMainWindow() = 0;     // created hidden; becomes the application's main window
    virtual void CreateMessageDialog() = 0;  // created hidden, reused for every message
    virtual int RunMessageLoop() = 0;        // shows the main window and runs until it closes
};

// Runs the program from start to end; the one place that sets the profile. The order matters: the command
// line is read by the product's identity, and the main window reads the profile only when it is shown, which
// happens in the message loop, after the profile is complete. Returns the exit code.
int RunStartup(ProductProfile& profile, StartupSteps& steps);

}  // namespace patcher

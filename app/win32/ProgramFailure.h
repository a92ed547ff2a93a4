#pragma once

#include <exception>
#include <string_view>

#include "app/RunLog.h"

namespace patcher {

// A failure of the patcher itself (an exception that nothing caught, a crash) ends the program with exit code
// 6. The log, while one is open, says what in one line and then "exit code 6"; a person at the window is told
// in a message box; an unattended run shows nothing, not even the system's error boxes.

// Installed first of all, before the command line is read: until it is read, nobody is assumed to be there.
void InstallFailureHandling() noexcept;
// The command line asked for the window: a person is there to be told.
void FailuresShownToAPerson() noexcept;

// The log that a failure is written to (none: nullptr).
void SetFailureLog(RunLog* log) noexcept;

// Ends the program as a failure of the patcher: logs `what` and `detail` one after the other, tells a person
// if one is there, and answers the exit code to return. Allocates nothing.
int PatcherFailed(std::string_view what, std::string_view detail = {}) noexcept;

// Runs `body`, answering its exit code; whatever escapes it ends the program as a failure of the patcher.
template <typename Body>
int FailingAsThePatcher(Body body) noexcept {
    try {
        return body();
    } catch (const std::exception& error) {
        return PatcherFailed(error.what());
    } catch (...) {
        return PatcherFailed("an exception of no known kind");
    }
}

}  // namespace patcher

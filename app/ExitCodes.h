#pragma once

#include "app/RunState.h"

namespace patcher {

// What the patcher's process tells whoever started it (a deployment tool, a start-up script). No two
// outcomes share a code.
inline constexpr int kExitAllCurrent = 0;       // every selected file is now current (summary 272 or 274);
                                                // also after /?, which does nothing else
inline constexpr int kExitSomeFileFailed = 1;   // the product folder was found, but some file was not updated
                                                // (/CHECK: some file is unknown, unreadable or missing)
inline constexpr int kExitNoInstallDir = 2;     // the product folder was not found; nothing was written
inline constexpr int kExitBadCommandLine = 3;   // the command line was not understood, or the log cannot be
                                                // written; nothing was done
inline constexpr int kExitClosedBeforeRun = 4;  // the window was closed before any run
inline constexpr int kExitUpdateNeeded = 5;     // /CHECK: some file needs this update, which can make it
inline constexpr int kExitPatcherFailed = 6;    // the patcher itself failed (an unexpected error)

// The exit code of the last run as the state tells it; a failure of the patcher itself outweighs everything.
inline int ExitCodeOf(const RunState& state) {
    if (state.PatcherFailed) {
        return kExitPatcherFailed;
    }
    if (!state.RunDone) {
        return kExitClosedBeforeRun;
    }
    if (state.RunSucceeded) {
        return kExitAllCurrent;
    }
    return state.InstallDirFound ? kExitSomeFileFailed : kExitNoInstallDir;
}

}  // namespace patcher

#pragma once

#include "common/LanguageCode.h"

namespace patcher {

// The main window's fields that a run reads and writes (a run without a window keeps its own).
struct RunState {
    bool RunDone = false;       // a run has ended since the window was created
    bool RunSucceeded = false;  // the current or last run has met no error
    LanguageCode DisplayLanguage = kPolish;
    // The summary that the last run ended with (0 before the first run): a later language change shows
    // this message again, in the new language.
    int Summary = 0;
    // The last run found the installation directory (and so looked at the files).
    bool InstallDirFound = false;
    // The last run was ended by a failure of the patcher itself, not of the product's files.
    bool PatcherFailed = false;
};

}  // namespace patcher

#pragma once

#include <windows.h>

#include "platform/NativeWindow.h"

namespace patcher {

// Handles every message waiting in the thread's queue, with the keyboard interface of the main window (Tab,
// Enter) as a dialog has it, and returns when none is left. A quit message is posted again for the program's
// own loop, which ends on it.
void ProcessPendingWindowMessages(HWND mainWindow);

// Runs the thread's message loop, with the keyboard interface of the main window, until the main window is
// destroyed. Returns the exit code of the quit message.
int RunWin32MessageLoop(NativeWindow mainWindow);

}  // namespace patcher

#pragma once

#include <memory>

#include "app/untMainPatcher.h"
#include "platform/NativeWindow.h"

namespace patcher {

// Makes the process DPI aware: per monitor where the system allows it (Windows 10 1703 and later), else
// aware of the system DPI. Called once, before the first window.
void BecomeDpiAware() noexcept;

// The main window on Windows: a top-level window of class kMainWindowClassName with a real child control
// for every component, each carrying MainControlId as its control id, laid out from the 96-DPI design at the
// window's DPI. It shows what the form tells it through MainWindowView and hands the clicks of its buttons to
// the form. Created hidden; the form's Show makes it visible. Throws PlatformError when the window cannot be
// created.
std::unique_ptr<MainWindowView> CreateWin32MainWindow(TfrmMainPatcher& form);

// Runs the thread's message loop, with the keyboard interface of the main window (Tab, Enter), until the
// main window is destroyed. Returns the exit code of the quit message.
int RunWin32MessageLoop(NativeWindow mainWindow);

}  // namespace patcher

#pragma once

#include <memory>

#include "app/untMainPatcher.h"

namespace patcher {

// The main window on Windows: a top-level window of class kMainWindowClassName with a real child control
// for every component, each carrying MainControlId as its control id, laid out from the 96-DPI design at the
// window's DPI. It shows what the form tells it through MainWindowView and hands the clicks of its buttons to
// the form. Created hidden; the form's Show makes it visible. Throws PlatformError when the window cannot be
// created.
std::unique_ptr<MainWindowView> CreateWin32MainWindow(TfrmMainPatcher& form);

}  // namespace patcher

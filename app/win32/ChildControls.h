#pragma once

#include <windows.h>

#include "app/MainWindowDesign.h"

namespace patcher {

// The system colour (COLOR_...) that stands for a colour of the design.
int SystemColourOf(DesignColour colour);

// Registers the window classes of the main window (under className, with its procedure) and of its panels.
// Throws PlatformError.
void RegisterMainWindowClasses(const wchar_t* className, WNDPROC windowProcedure);

// The real child window of a component, hidden and unplaced, with MainControlId as its control id: panels of
// a small class of ours that hand their children's notifications to the top-level window, static labels and
// bevel, push buttons, and flag buttons (toggles that only show their state, showing a picture where
// `showsPicture`, and taking no focus). Throws PlatformError.
HWND CreateChildControl(const ControlDesign& design, HWND parent, bool showsPicture);

}  // namespace patcher

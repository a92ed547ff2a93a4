#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/MainWindowDesign.h"
#include "common/LanguageCode.h"

namespace patcher::driver {

// The patcher's windows as another program sees them: found by class and control id, read with window
// messages, never through the patcher's own code.

// The visible main window of the process, or nullptr.
HWND FindMainWindow(DWORD processId);
// A visible dialog (the message dialog or the open-file dialog) of the process, or nullptr.
HWND FindDialog(DWORD processId);

HWND ControlWindow(HWND mainWindow, MainControl control);

// The window's text; nullopt when the window did not answer within a few seconds (its thread is busy).
std::optional<std::wstring> TextOf(HWND window);

// What a user or a screen reader can tell of one control.
struct ControlView {
    bool Visible = false;
    bool Enabled = false;
    bool Checked = false;  // buttons: pressed
    bool Focused = false;
    RECT Bounds{};  // relative to the parent's client area
    std::wstring Text;
    // The text fits the control in the font that the display language gives it: a wrapping label is tall
    // enough for every line, any other control wide and tall enough for its one line.
    bool TextFits = true;
};

ControlView Inspect(HWND mainWindow, MainControl control, LanguageCode displayLanguage);

// The window with the keyboard focus in the thread of the main window.
HWND FocusOf(HWND mainWindow);

// The resolution the window is laid out for.
int DpiOf(HWND window);

// The label text of a message dialog, and its visible buttons in their order.
struct DialogView {
    std::wstring Caption;
    std::wstring Text;
    std::vector<HWND> Buttons;
};
DialogView InspectDialog(HWND dialog);

}  // namespace patcher::driver

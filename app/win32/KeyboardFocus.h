#pragma once

#include <windows.h>

namespace patcher {

// Makes a button take no focus, as a speed button takes none: it hands the focus straight back to the control
// that had it, so that a click on it leaves Enter and the focus where they were.
void TakeNoFocus(HWND button);

// The keyboard focus of a top-level window, kept as a dialog keeps it: the control that had it when the window
// was deactivated gets it back on activation, and a control given the focus while the window is inactive gets
// it then.
class FocusMemory {
  public:
    explicit FocusMemory(HWND window) : window_(window) {}

    void OnDeactivate();
    void OnActivate();
    // Gives the control the focus, now and again on the next activation.
    void Give(HWND control);
    // The control that has the focus, or gets it on activation; nullptr when none does.
    HWND Current() const;
    void Forget() { remembered_ = nullptr; }

  private:
    bool IsUsable(HWND control) const;

    HWND window_;
    HWND remembered_ = nullptr;
};

}  // namespace patcher

#pragma once

#include <windows.h>

namespace patcher {

// Makes the process DPI aware: per monitor where the system allows it (Windows 10 1703 and later), else
// aware of the system DPI. Called once, before the first window.
void BecomeDpiAware() noexcept;

// The DPI that a window is shown at: its monitor's where the system tells it, else the system's.
int WindowDpi(HWND window);

// The outer size of a window of this style whose client area is width x height at the DPI. Throws
// PlatformError.
SIZE OuterSizeAtDpi(int clientWidth, int clientHeight, int dpi, DWORD style, DWORD extendedStyle);

}  // namespace patcher

#pragma once

namespace patcher {

// A window of the platform's window system, handed through portable code without its headers. On Windows
// it holds an HWND (platform/win32/NativeWindowWin32.h converts). The null window means "no window".
struct NativeWindow {
    void* Handle = nullptr;
};

}  // namespace patcher

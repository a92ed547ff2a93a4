#pragma once

#include <windows.h>

#include "platform/NativeWindow.h"

namespace patcher::win32 {

inline HWND ToHwnd(NativeWindow window) noexcept {
    return static_cast<HWND>(window.Handle);
}

inline NativeWindow FromHwnd(HWND window) noexcept {
    return NativeWindow{window};
}

}  // namespace patcher::win32

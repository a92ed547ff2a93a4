#include "app/win32/WindowDpi.h"

#include "app/MainWindowDesign.h"
#include "platform/PlatformError.h"
#include "platform/win32/SystemFunction.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

using win32::SystemFunction;

int SystemDpi() {
    // A memory device context of the screen has the screen's logical resolution.
    const win32::UniqueMemoryDc screen(::CreateCompatibleDC(nullptr));
    const int dpi = screen ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}

}  // namespace

void BecomeDpiAware() noexcept {
    using SetContextFunction = BOOL(WINAPI*)(HANDLE);
    static const auto kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    const auto setContext = SystemFunction<SetContextFunction>(L"user32.dll", "SetProcessDpiAwarenessContext");
    if (setContext != nullptr) {
        if (setContext(kPerMonitorAwareV2)) {
            return;
        }
        // Refused because the manifest has set the awareness already: it stays as the manifest says.
        if (::GetLastError() == ERROR_ACCESS_DENIED) {
            return;
        }
    }
    // Older systems, and Wine, which refuses every awareness context but takes this.
    ::SetProcessDPIAware();
}

int WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = SystemFunction<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    return SystemDpi();
}

SIZE OuterSizeAtDpi(int clientWidth, int clientHeight, int dpi, DWORD style, DWORD extendedStyle) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = SystemFunction<AdjustForDpiFunction>(L"user32.dll", "AdjustWindowRectExForDpi");
    RECT outer{0, 0, clientWidth, clientHeight};
    const BOOL adjusted = adjustForDpi != nullptr
                              ? adjustForDpi(&outer, style, FALSE, extendedStyle, static_cast<UINT>(dpi))
                              : ::AdjustWindowRectEx(&outer, style, FALSE, extendedStyle);
    if (!adjusted) {
        throw PlatformError("AdjustWindowRectEx", ::GetLastError());
    }
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

}  // namespace patcher

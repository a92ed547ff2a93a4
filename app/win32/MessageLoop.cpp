#include "app/win32/MessageLoop.h"

#include "platform/win32/NativeWindowWin32.h"

namespace patcher {
namespace {

void Dispatch(HWND mainWindow, MSG& message) {
    if (mainWindow == nullptr || !::IsDialogMessageW(mainWindow, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace

void ProcessPendingWindowMessages(HWND mainWindow) {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(mainWindow, message);
    }
}

int RunWin32MessageLoop(NativeWindow mainWindow) {
    const HWND window = win32::ToHwnd(mainWindow);
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);
        }
        if (got == -1) {
            return 1;
        }
        Dispatch(window, message);
    }
}

}  // namespace patcher

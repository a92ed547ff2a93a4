#include "app/win32/KeyboardFocus.h"

namespace patcher {
namespace {

// The button's own procedure is kept in its GWLP_USERDATA.
LRESULT CALLBACK FocuslessButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const auto buttonProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(button, GWLP_USERDATA));
    if (message == WM_SETFOCUS) {
        const auto previous = reinterpret_cast<HWND>(wParam);
        const HWND root = ::GetAncestor(button, GA_ROOT);
        ::SetFocus(previous != nullptr && previous != button && ::IsChild(root, previous) ? previous : root);
        return 0;
    }
    return ::CallWindowProcW(buttonProc, button, message, wParam, lParam);
}

}  // namespace

void TakeNoFocus(HWND button) {
    const LONG_PTR buttonProc = ::GetWindowLongPtrW(button, GWLP_WNDPROC);
    ::SetWindowLongPtrW(button, GWLP_USERDATA, buttonProc);
    ::SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FocuslessButtonProc));
}

void FocusMemory::OnDeactivate() {
    const HWND focus = ::GetFocus();
    remembered_ = focus != nullptr && ::IsChild(window_, focus) ? focus : nullptr;
}

void FocusMemory::OnActivate() {
    if (IsUsable(remembered_)) {
        ::SetFocus(remembered_);
    }
}

void FocusMemory::Give(HWND control) {
    // Remembered too: where the window is inactive and stays so, the control gets the focus on activation.
    remembered_ = control;
    ::SetFocus(control);
}

HWND FocusMemory::Current() const {
    if (::GetActiveWindow() == window_) {
        const HWND focus = ::GetFocus();
        return focus != nullptr && ::IsChild(window_, focus) ? focus : nullptr;
    }
    return remembered_;
}

bool FocusMemory::IsUsable(HWND control) const {
    return control != nullptr && ::IsChild(window_, control) && ::IsWindowEnabled(control) &&
           ::IsWindowVisible(control);
}

}  // namespace patcher

#include "app/win32/ChildControls.h"

#include "app/win32/KeyboardFocus.h"
#include "platform/PlatformError.h"

namespace patcher {
namespace {

using K = ControlKind;

constexpr wchar_t kPanelClassName[] = L"VokarionPanel";

// A panel hands everything its children report to the top-level window, which owns the logic and the
// colours; it paints its own background in its design colour (kept in GWLP_USERDATA as a system colour).
LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_DRAWITEM:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const HWND root = ::GetAncestor(panel, GA_ROOT);
            if (root != nullptr && root != panel) {
                return ::SendMessageW(root, message, wParam, lParam);
            }
            break;
        }
        case WM_ERASEBKGND: {
            RECT client{};
            ::GetClientRect(panel, &client);
            const auto colour = static_cast<int>(::GetWindowLongPtrW(panel, GWLP_USERDATA));
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, ::GetSysColorBrush(colour));
            return 1;
        }
        default:
            break;
    }
    return ::DefWindowProcW(panel, message, wParam, lParam);
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, int background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = ::GetSysColorBrush(background);
    windowClass.lpszClassName = name;
    if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw PlatformError("RegisterClassExW", ::GetLastError());
    }
}

}  // namespace

int SystemColourOf(DesignColour colour) {
    return colour == DesignColour::HighlightText ? COLOR_HIGHLIGHTTEXT : COLOR_BTNFACE;
}

void RegisterMainWindowClasses(const wchar_t* className, WNDPROC windowProcedure) {
    RegisterWindowClass(kPanelClassName, PanelProc, COLOR_BTNFACE);
    RegisterWindowClass(className, windowProcedure, COLOR_BTNFACE);
}

HWND CreateChildControl(const ControlDesign& design, HWND parent, bool showsPicture) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD extendedStyle = 0;
    const wchar_t* windowClass = L"BUTTON";
    switch (design.Kind) {
        case K::Panel:
            windowClass = kPanelClassName;
            style |= WS_CLIPCHILDREN;
            extendedStyle = WS_EX_CONTROLPARENT;  // Tab walks into the panel
            break;
        case K::Label:
            // SS_NOPREFIX: a "&" in a path is shown, not taken for a mnemonic. A label without word wrap
            // keeps its text on one line, cut at its right edge.
            windowClass = L"STATIC";
            style |= SS_NOPREFIX | (design.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
            break;
        case K::Bevel:
            windowClass = L"STATIC";
            style |= SS_OWNERDRAW;
            break;
        case K::PushButton:
            style |= design.DefaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        case K::FlagButton:
            // A toggle that only shows its state: the form decides what a press does. The language's name
            // stays its window text, for screen readers, while it shows only its picture.
            style |= BS_CHECKBOX | BS_PUSHLIKE | BS_FLAT | (showsPicture ? BS_BITMAP : 0);
            break;
        case K::Window:
            break;
    }
    if (design.TabStop) {
        style |= WS_TABSTOP;
    }
    const HWND child = ::CreateWindowExW(extendedStyle, windowClass, L"", style, 0, 0, 0, 0, parent,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(MainControlId(design.Control))),
                                         ::GetModuleHandleW(nullptr), nullptr);
    if (child == nullptr) {
        throw PlatformError("CreateWindowExW", ::GetLastError());
    }
    if (design.Kind == K::Panel) {
        ::SetWindowLongPtrW(child, GWLP_USERDATA, SystemColourOf(design.Colour));
    } else if (design.Kind == K::FlagButton) {
        TakeNoFocus(child);
    }
    return child;
}

}  // namespace patcher

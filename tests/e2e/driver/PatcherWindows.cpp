#include "tests/e2e/driver/PatcherWindows.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "lang/LanguageRules.h"
#include "platform/win32/SystemFont.h"
#include "platform/win32/SystemFunction.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher::driver {
namespace {

using C = MainControl;

constexpr UINT kAnswerTimeoutMs = 5000;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

struct Search {
    DWORD ProcessId;
    const wchar_t* ClassName;
    HWND Found = nullptr;
};

BOOL CALLBACK TakeVisibleWindowOfClass(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search.ProcessId && ::IsWindowVisible(window) && ClassOf(window) == search.ClassName) {
        search.Found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisible(DWORD processId, const wchar_t* className) {
    Search search{processId, className};
    ::EnumWindows(TakeVisibleWindowOfClass, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

struct ChildSearch {
    int Id;
    HWND Found = nullptr;
};

BOOL CALLBACK TakeChildWithId(HWND child, LPARAM parameter) {
    auto& search = *reinterpret_cast<ChildSearch*>(parameter);
    if (::GetDlgCtrlID(child) == search.Id) {
        search.Found = child;
        return FALSE;
    }
    return TRUE;
}

// The font the window gives the control's text in the display language: the design's font with the
// language's face and character set, except the title and the fixed language caption, which stay Polish.
FontDescription FontOf(MainControl control, LanguageCode displayLanguage) {
    FontDescription font = DesignWindowFont();
    LanguageCode language = displayLanguage;
    switch (control) {
        case C::lblTytul:
            font = DesignTitleFont();
            language = kPolish;
            break;
        case C::lblKrok:
            font = DesignStepFont();
            break;
        case C::lblJezyk:
            font = DesignLanguageCaptionFont();
            language = kPolish;
            break;
        default:
            break;
    }
    ApplyLanguageFont(font, language);
    return font;
}

bool TextFits(MainControl control, const ControlView& view, LanguageCode displayLanguage, int dpi) {
    const ControlDesign& design = DesignOf(control);
    if (view.Text.empty() || design.Kind == ControlKind::FlagButton ||
        (design.Kind != ControlKind::Label && design.Kind != ControlKind::PushButton)) {
        return true;  // the flags show a picture, not their text
    }
    const win32::UniqueFont font = win32::CreateSystemFont(FontOf(control, displayLanguage), dpi);
    const win32::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    const HGDIOBJ previous = ::SelectObject(dc.Get(), font.Get());
    const LONG width = view.Bounds.right - view.Bounds.left;
    const LONG height = view.Bounds.bottom - view.Bounds.top;
    RECT needed{0, 0, width, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
    format |= design.WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
    ::DrawTextW(dc.Get(), view.Text.c_str(), static_cast<int>(view.Text.size()), &needed, format);
    ::SelectObject(dc.Get(), previous);
    // A push button draws its text inside its edge and focus frame.
    const LONG margin = design.Kind == ControlKind::PushButton ? ::MulDiv(4, dpi, 96) : 0;
    return needed.right - needed.left + margin <= width && needed.bottom - needed.top <= height;
}

}  // namespace

HWND FindMainWindow(DWORD processId) {
    return FindVisible(processId, L"TfrmMainPatcher");
}

HWND FindDialog(DWORD processId) {
    return FindVisible(processId, L"#32770");
}

HWND ControlWindow(HWND mainWindow, MainControl control) {
    if (control == C::Window) {
        return mainWindow;
    }
    // The controls sit in nested panels: search the whole tree by id.
    ChildSearch search{MainControlId(control)};
    ::EnumChildWindows(mainWindow, TakeChildWithId, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

std::optional<std::wstring> TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, kAnswerTimeoutMs, &length)) {
        return std::nullopt;
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_BLOCK,
                               kAnswerTimeoutMs, &copied)) {
        return std::nullopt;
    }
    text.resize(copied);
    return text;
}

HWND FocusOf(HWND mainWindow) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(mainWindow, nullptr), &gui)) {
        return nullptr;
    }
    return gui.hwndFocus;
}

int DpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = win32::SystemFunction<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

ControlView Inspect(HWND mainWindow, MainControl control, LanguageCode displayLanguage) {
    ControlView view;
    const HWND window = ControlWindow(mainWindow, control);
    if (window == nullptr) {
        throw std::runtime_error(std::string("the main window has no ") + MainControlName(control));
    }
    view.Visible = ::IsWindowVisible(window) != FALSE;
    view.Enabled = ::IsWindowEnabled(window) != FALSE;
    view.Focused = FocusOf(mainWindow) == window;
    DWORD_PTR state = 0;
    if (ClassOf(window) == L"Button" &&
        ::SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_BLOCK, kAnswerTimeoutMs, &state)) {
        view.Checked = state == BST_CHECKED;
    }
    if (control == C::Window) {
        ::GetClientRect(window, &view.Bounds);
    } else {
        ::GetWindowRect(window, &view.Bounds);
        ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&view.Bounds), 2);
    }
    view.Text = TextOf(window).value_or(L"");
    view.TextFits = TextFits(control, view, displayLanguage, DpiOf(mainWindow));
    return view;
}

DialogView InspectDialog(HWND dialog) {
    DialogView view;
    view.Caption = TextOf(dialog).value_or(L"");
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring childClass = ClassOf(child);
        if (childClass == L"Static" && view.Text.empty()) {
            view.Text = TextOf(child).value_or(L"");
        } else if (childClass == L"Button" && ::IsWindowVisible(child)) {
            view.Buttons.push_back(child);
        }
    }
    return view;
}

}  // namespace patcher::driver

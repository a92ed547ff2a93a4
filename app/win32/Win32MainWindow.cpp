// The main window in plain Win32. Every component is a real child window, so that screen readers and test
// drivers see every text. Captions are decoded with the code page of the character set of each component's
// font and set through the W functions, so the window looks the same under any system code page. The whole
// layout comes from the 96-DPI design through one step, LayOut, which creation and a change of DPI both run.
#include "app/win32/Win32MainWindow.h"

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <exception>
#include <optional>
#include <string>

#include "app/FlagGlyph.h"
#include "app/win32/ChildControls.h"
#include "app/win32/ControlPainting.h"
#include "app/win32/FlagBitmaps.h"
#include "app/win32/KeyboardFocus.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/OpenProgramDialog.h"
#include "app/win32/WindowDpi.h"
#include "lang/LanguageRules.h"
#include "platform/PlatformError.h"
#include "platform/win32/NativeWindowWin32.h"
#include "platform/win32/SystemFont.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

// Messages of newer systems than the headers are set for; the program looks for those systems at run time.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace patcher {
namespace {

using C = MainControl;
using K = ControlKind;
using win32::UniqueBitmap;
using win32::UniqueFont;
using win32::UniqueWindow;
using win32::WideFromBytes;

// A caption and a fixed single border; without a system menu the caption has no buttons.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

std::size_t Index(MainControl control) {
    return static_cast<std::size_t>(control);
}

std::optional<MainControl> ControlOfId(int id) {
    const int index = id - kFirstMainControlId;
    if (index <= 0 || index >= kMainControlCount) {
        return std::nullopt;
    }
    return static_cast<MainControl>(index);
}

bool ShowsText(ControlKind kind) {
    return kind == K::Label || kind == K::PushButton || kind == K::FlagButton;
}

std::wstring MainClassName() {
    return std::wstring(std::begin(kMainWindowClassName), std::end(kMainWindowClassName) - 1);
}

class Win32MainWindow final : public MainWindowView {
  public:
    explicit Win32MainWindow(TfrmMainPatcher& form);
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;
    ~Win32MainWindow() override;

    void Refresh(MainControl control, const ControlState& state) override;
    void Focus(MainControl control) override;
    std::optional<MainControl> FocusedControl() const override;
    void ShowCentred() override;
    void ProcessPendingMessages() override { ProcessPendingWindowMessages(window_.Get()); }
    std::optional<ByteString> ShowOpenDialog(const OpenDialogSettings& settings) override;
    NativeWindow Handle() const override { return win32::FromHwnd(window_.Get()); }
    void Close() override { window_.Reset(); }
    void SetRunInProgress(bool inProgress) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id);
    LRESULT OnControlColour(HDC dc, HWND control) const;
    LRESULT OnCustomDraw(const NMCUSTOMDRAW& draw) const;
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnNcDestroy();

    void CreateChildren();
    void Show(MainControl control, const ControlState& state);
    void LayOut(int dpi);
    void Place(MainControl control);
    void ApplyFont(MainControl control);
    void ApplyGlyph(MainControl flagButton);
    void FitClientArea();
    HWND Child(MainControl control) const { return controls_[Index(control)]; }

    TfrmMainPatcher& form_;
    int dpi_ = kDesignDpi;
    std::array<std::optional<ControlState>, kMainControlCount> shown_;
    std::array<std::optional<GlyphImage>, kMainControlCount> glyphImages_;
    // The fonts and pictures outlive the windows that draw with them: declared before window_.
    std::array<UniqueFont, kMainControlCount> fonts_;
    std::array<UniqueBitmap, kMainControlCount> glyphs_;
    std::array<HWND, kMainControlCount> controls_{};  // [Window] is the window itself; the children die with it
    FocusMemory focus_{nullptr};
    bool runInProgress_ = false;
    bool quitOnDestroy_ = true;
    UniqueWindow window_;
};

Win32MainWindow::Win32MainWindow(TfrmMainPatcher& form) : form_(form) {
    const std::wstring className = MainClassName();
    RegisterMainWindowClasses(className.c_str(), WindowProc);
    for (const ControlDesign& design : MainWindowDesign) {
        if (design.Kind == K::FlagButton) {
            glyphImages_[Index(design.Control)] = LoadFlagGlyph(design.Control);
        }
    }

    // WM_NCCREATE hands the window to window_ and connects it with this object.
    if (::CreateWindowExW(kWindowExStyle, className.c_str(), L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          kClientWidth, kClientHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                          this) == nullptr) {
        throw PlatformError("CreateWindowExW", ::GetLastError());
    }
    try {
        controls_[Index(C::Window)] = window_.Get();
        focus_ = FocusMemory(window_.Get());
        CreateChildren();
        LayOut(WindowDpi(window_.Get()));
        FitClientArea();
    } catch (...) {
        // No object, no window: and no quit message for a loop that never ran.
        quitOnDestroy_ = false;
        window_.Reset();
        throw;
    }
}

Win32MainWindow::~Win32MainWindow() {
    // Destroyed with its object, not closed by the user: the program's loop, if any, has ended already.
    quitOnDestroy_ = false;
    window_.Reset();
}

void Win32MainWindow::CreateChildren() {
    for (const ControlDesign& design : MainWindowDesign) {
        if (design.Kind != K::Window) {
            controls_[Index(design.Control)] = CreateChildControl(design, controls_[Index(design.Parent)],
                                                                  glyphImages_[Index(design.Control)].has_value());
        }
    }
}

// ------------------------------------------------------------------ MainWindowView

void Win32MainWindow::Refresh(MainControl control, const ControlState& state) {
    try {
        Show(control, state);
    } catch (const std::exception&) {
        // The window has no failure of its own to report: what cannot be shown stays as it was.
    }
}

void Win32MainWindow::Show(MainControl control, const ControlState& state) {
    const HWND window = Child(control);
    if (window == nullptr) {
        return;
    }
    const ControlDesign& design = DesignOf(control);
    const std::optional<ControlState> before = std::move(shown_[Index(control)]);
    shown_[Index(control)] = state;
    const bool fontChanged = !before || !(before->Font == state.Font);
    const bool textChanged = fontChanged || before->Caption != state.Caption;

    if (fontChanged && ShowsText(design.Kind)) {
        ApplyFont(control);
    }
    if (textChanged) {
        const std::wstring text = WideFromBytes(state.Caption, kTextCodePage);
        ::SetWindowTextW(window, text.c_str());
    }
    if (design.Kind == K::Window) {
        return;
    }
    if (design.Kind == K::FlagButton) {
        ::SendMessageW(window, BM_SETCHECK, state.Down ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (!before || before->Left != state.Left || (design.AutoSize && textChanged)) {
        Place(control);
    }
    ::EnableWindow(window, state.Enabled ? TRUE : FALSE);
    ::ShowWindow(window, state.Visible ? SW_SHOWNA : SW_HIDE);
}

void Win32MainWindow::Focus(MainControl control) {
    if (const HWND window = Child(control); window != nullptr) {
        focus_.Give(window);
    }
}

std::optional<MainControl> Win32MainWindow::FocusedControl() const {
    const HWND focus = window_ ? focus_.Current() : nullptr;
    return focus != nullptr ? ControlOfId(::GetDlgCtrlID(focus)) : std::nullopt;
}

void Win32MainWindow::ShowCentred() {
    if (!window_) {
        return;
    }
    RECT outer{};
    ::GetWindowRect(window_.Get(), &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (::GetMonitorInfoW(::MonitorFromWindow(window_.Get(), MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        const RECT& screen = monitor.rcMonitor;
        const LONG left = screen.left + (screen.right - screen.left - (outer.right - outer.left)) / 2;
        const LONG top = screen.top + (screen.bottom - screen.top - (outer.bottom - outer.top)) / 2;
        ::SetWindowPos(window_.Get(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(window_.Get(), SW_SHOW);
    ::UpdateWindow(window_.Get());
    // The first control in the tab order takes the focus, as in a dialog.
    if (const HWND first = ::GetNextDlgTabItem(window_.Get(), nullptr, FALSE); first != nullptr) {
        ::SetFocus(first);
    }
}

std::optional<ByteString> Win32MainWindow::ShowOpenDialog(const OpenDialogSettings& settings) {
    // The dialog's texts are read as the window's own are.
    return ShowOpenProgramDialog(window_.Get(), settings, kTextCodePage);
}

void Win32MainWindow::SetRunInProgress(bool inProgress) {
    runInProgress_ = inProgress;
    if (!window_) {
        return;
    }
    if (inProgress) {
        // The reason the system shows when the user ends the session meanwhile: the window's caption.
        std::wstring caption(static_cast<std::size_t>(::GetWindowTextLengthW(window_.Get())) + 1, L'\0');
        caption.resize(static_cast<std::size_t>(
            ::GetWindowTextW(window_.Get(), caption.data(), static_cast<int>(caption.size()))));
        ::ShutdownBlockReasonCreate(window_.Get(), caption.c_str());
    } else {
        ::ShutdownBlockReasonDestroy(window_.Get());
    }
}

// ------------------------------------------------------------------ layout

void Win32MainWindow::LayOut(int dpi) {
    dpi_ = dpi;
    for (const ControlDesign& design : MainWindowDesign) {
        if (ShowsText(design.Kind) && shown_[Index(design.Control)]) {
            ApplyFont(design.Control);
        }
        if (design.Kind == K::FlagButton) {
            ApplyGlyph(design.Control);
        }
    }
    for (const ControlDesign& design : MainWindowDesign) {
        if (design.Kind != K::Window) {
            Place(design.Control);
        }
    }
}

void Win32MainWindow::Place(MainControl control) {
    const ControlDesign& design = DesignOf(control);
    const std::optional<ControlState>& state = shown_[Index(control)];
    DesignRect bounds = design.Bounds;
    if (state) {
        bounds.Left = state->Left;
    }
    DesignRect at = ScaleToDpi(bounds, dpi_);
    if (design.AutoSize && state && fonts_[Index(control)]) {
        const SIZE text = MeasureLine(fonts_[Index(control)].Get(), WideFromBytes(state->Caption, kTextCodePage));
        at.Width = text.cx;
        at.Height = text.cy;
    }
    ::SetWindowPos(Child(control), nullptr, at.Left, at.Top, at.Width, at.Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::ApplyFont(MainControl control) {
    UniqueFont font = win32::CreateSystemFont(shown_[Index(control)]->Font, dpi_);
    ::SendMessageW(Child(control), WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    fonts_[Index(control)] = std::move(font);  // the previous one is no longer in use
}

void Win32MainWindow::ApplyGlyph(MainControl flagButton) {
    const std::optional<GlyphImage>& image = glyphImages_[Index(flagButton)];
    if (!image) {
        return;  // the button shows its text instead
    }
    UniqueBitmap bitmap = CreateFlagBitmap(*image, dpi_);
    ::SendMessageW(Child(flagButton), BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.Get()));
    glyphs_[Index(flagButton)] = std::move(bitmap);
}

// The client area of the design at the window's DPI, whatever the frame around it measures: the frame of a
// window that is not per-monitor aware keeps the system DPI's size when the client area changes.
void Win32MainWindow::FitClientArea() {
    RECT outer{};
    RECT client{};
    ::GetWindowRect(window_.Get(), &outer);
    ::GetClientRect(window_.Get(), &client);
    const int width = ScaleToDpi(kClientWidth, dpi_) + (outer.right - outer.left) - client.right;
    const int height = ScaleToDpi(kClientHeight, dpi_) + (outer.bottom - outer.top) - client.bottom;
    if (width != outer.right - outer.left || height != outer.bottom - outer.top) {
        ::SetWindowPos(window_.Get(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// ------------------------------------------------------------------ messages

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<Win32MainWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_.Reset(window);
    }
    if (self == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing leaves a window procedure. A handler that failed has done nothing more, but the patcher has
    // failed all the same: the form says so in the log and in the exit code.
    try {
        return self->OnMessage(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        self->form_.HandlerFailed(error.what());
    } catch (...) {
        self->form_.HandlerFailed("an exception of no known kind");
    }
    return 0;
}

LRESULT Win32MainWindow::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // Clicks of the buttons, forwarded by their panels; IDOK from the dialog manager for Enter.
            if (HIWORD(wParam) == BN_CLICKED) {
                OnCommand(LOWORD(wParam));
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID == static_cast<UINT>(MainControlId(C::Bevel1))) {
                DrawBevel(item);
                return TRUE;
            }
            break;
        }
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->code == NM_CUSTOMDRAW) {
                return OnCustomDraw(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam));
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                focus_.OnDeactivate();
                break;
            }
            focus_.OnActivate();
            if (::GetFocus() != nullptr && ::IsChild(window, ::GetFocus())) {
                return 0;  // the focus went back to its control
            }
            break;
        case WM_CLOSE:
            // Alt+F4 or the taskbar: not while a run is between its steps.
            form_.RequestClose();
            return 0;
        case WM_QUERYENDSESSION:
            return runInProgress_ ? FALSE : TRUE;
        case WM_SYSCOLORCHANGE:
            for (const C flag : {C::btnPolski, C::btnAngielski, C::btnNiemiecki, C::btnFrancuski}) {
                ApplyGlyph(flag);
            }
            break;
        case WM_GETDPISCALEDSIZE: {
            // The size for the new DPI: the design's client area at that DPI, not the outer size scaled.
            const int dpi = static_cast<int>(wParam);
            *reinterpret_cast<SIZE*>(lParam) = OuterSizeAtDpi(
                ScaleToDpi(kClientWidth, dpi), ScaleToDpi(kClientHeight, dpi), dpi, kWindowStyle, kWindowExStyle);
            return TRUE;
        }
        case WM_DPICHANGED:
            OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_DESTROY:
            if (quitOnDestroy_) {
                ::PostQuitMessage(0);
            }
            return 0;
        case WM_NCDESTROY:
            OnNcDestroy();
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void Win32MainWindow::OnCommand(int id) {
    if (id == IDOK) {
        // Enter: the focused push button when it is btnZamknij, else the default button btnUpdate.
        if (::GetFocus() != nullptr && ::GetFocus() == Child(C::btnZamknij)) {
            form_.btnZamknijClick();
        } else {
            form_.btnUpdateClick();
        }
        return;
    }
    const std::optional<MainControl> control = ControlOfId(id);
    if (!control) {
        return;
    }
    if (DesignOf(*control).Kind == K::FlagButton) {
        form_.FlagButtonPressed(*control);
    } else if (*control == C::btnUpdate) {
        form_.btnUpdateClick();
    } else if (*control == C::btnZamknij) {
        form_.btnZamknijClick();
    }
}

LRESULT Win32MainWindow::OnControlColour(HDC dc, HWND control) const {
    // A label shows its parent's colour: the title band's or the window's.
    const bool inTitleBand = ::GetParent(control) == Child(C::pnlTop);
    return PaintLabelColours(dc, inTitleBand ? SystemColourOf(DesignOf(C::pnlTop).Colour) : COLOR_BTNFACE);
}

LRESULT Win32MainWindow::OnCustomDraw(const NMCUSTOMDRAW& draw) const {
    const std::optional<MainControl> control = ControlOfId(static_cast<int>(draw.hdr.idFrom));
    if (!control || DesignOf(*control).Kind != K::FlagButton) {
        return CDRF_DODEFAULT;
    }
    return DrawFlatFlagButton(draw, glyphs_[Index(*control)].Get());
}

void Win32MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    LayOut(dpi);
    ::SetWindowPos(window_.Get(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    FitClientArea();
}

void Win32MainWindow::OnNcDestroy() {
    ::SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    window_.Release();  // gone already
    controls_.fill(nullptr);
    focus_.Forget();
}

}  // namespace

std::unique_ptr<MainWindowView> CreateWin32MainWindow(TfrmMainPatcher& form) {
    return std::make_unique<Win32MainWindow>(form);
}

}  // namespace patcher

// The main window in plain Win32. Every component is a real child window, so that screen readers and test
// drivers see every text: the panels are windows of a small class of ours, the labels and the bevel are
// static controls, the push buttons and the flags are buttons. Captions are decoded with the code page of
// the character set of each component's font and set through the W functions, so the window looks the same
// under any system code page. The whole layout comes from the 96-DPI design through one step, LayOut, which
// creation and a change of DPI both run.
#include "app/win32/Win32MainWindow.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "app/FlagGlyph.h"
#include "lang/LanguageRules.h"
#include "platform/PlatformError.h"
#include "platform/win32/NativeWindowWin32.h"
#include "platform/win32/SystemFont.h"
#include "platform/win32/SystemFunction.h"
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
using win32::SystemFunction;
using win32::UniqueBitmap;
using win32::UniqueFont;
using win32::UniqueMemoryDc;
using win32::UniqueResourceHandle;
using win32::UniqueWindow;
using win32::WideFromBytes;

constexpr wchar_t kPanelClassName[] = L"VokarionPanel";
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

int SystemColourIndex(DesignColour colour) {
    return colour == DesignColour::HighlightText ? COLOR_HIGHLIGHTTEXT : COLOR_BTNFACE;
}

// 0xRRGGBB, as the pictures hold their colours.
std::uint32_t SystemColourRgb(int index) {
    const COLORREF colour = ::GetSysColor(index);
    return static_cast<std::uint32_t>(GetRValue(colour)) << 16 | static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
           GetBValue(colour);
}

// ------------------------------------------------------------------ DPI

int SystemDpi() {
    // A memory device context of the screen has the screen's logical resolution.
    const UniqueMemoryDc screen(::CreateCompatibleDC(nullptr));
    const int dpi = screen ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
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

// The outer size of a window whose client area is width x height at the DPI.
SIZE OuterSize(int clientWidth, int clientHeight, int dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = SystemFunction<AdjustForDpiFunction>(L"user32.dll", "AdjustWindowRectExForDpi");
    RECT outer{0, 0, clientWidth, clientHeight};
    const BOOL adjusted = adjustForDpi != nullptr
                              ? adjustForDpi(&outer, kWindowStyle, FALSE, kWindowExStyle, static_cast<UINT>(dpi))
                              : ::AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
    if (!adjusted) {
        throw PlatformError("AdjustWindowRectEx", ::GetLastError());
    }
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

// ------------------------------------------------------------------ fonts and pictures

// Selects a GDI object into a device context for the object's life, and puts the previous one back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { ::SelectObject(dc_, previous_); }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The size of one line of text as a static control draws it in the font.
SIZE MeasureLine(HFONT font, const std::wstring& text) {
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) {
        throw PlatformError("CreateCompatibleDC", ::GetLastError());
    }
    const Selection selection(dc.Get(), font);
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.data(), static_cast<int>(text.size()), &bounds,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
    if (text.empty()) {
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc.Get(), &metrics);
        return SIZE{0, metrics.tmHeight};
    }
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

// A flag's picture from the program's BITMAP resources, or nothing when the program carries none.
std::optional<GlyphImage> LoadGlyph(MainControl flagButton) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const ByteString name(FlagGlyphResourceName(flagButton));
    const HRSRC found = ::FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (found == nullptr) {
        return std::nullopt;
    }
    const DWORD size = ::SizeofResource(module, found);
    const UniqueResourceHandle loaded(::LoadResource(module, found));
    const void* bytes = loaded ? ::LockResource(loaded.Get()) : nullptr;
    if (bytes == nullptr || size == 0) {
        return std::nullopt;
    }
    try {
        return ReadGlyph(std::span(static_cast<const std::uint8_t*>(bytes), size));
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

UniqueBitmap CreateBitmap(const GlyphImage& image) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.Width;
    info.bmiHeader.biHeight = -image.Height;  // rows from the top, as the image holds them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;  // no alpha channel for the button to interpret
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) {
        throw PlatformError("CreateDIBSection", ::GetLastError());
    }
    const std::size_t stride = (static_cast<std::size_t>(image.Width) * 3 + 3) / 4 * 4;
    auto* rows = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < image.Height; ++y) {
        std::uint8_t* pixel = rows + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < image.Width; ++x) {
            const std::uint32_t rgb = image.At(x, y);
            *pixel++ = static_cast<std::uint8_t>(rgb);
            *pixel++ = static_cast<std::uint8_t>(rgb >> 8);
            *pixel++ = static_cast<std::uint8_t>(rgb >> 16);
        }
    }
    return bitmap;
}

// ------------------------------------------------------------------ the panel class

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

// A flag button takes no focus, as a speed button takes none: it hands the focus straight back to the
// control that had it, so that a click on a flag leaves Enter and the focus where they were. The button's
// own procedure is kept in its GWLP_USERDATA.
LRESULT CALLBACK FlagButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const auto buttonProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(button, GWLP_USERDATA));
    if (message == WM_SETFOCUS) {
        const auto previous = reinterpret_cast<HWND>(wParam);
        const HWND root = ::GetAncestor(button, GA_ROOT);
        ::SetFocus(previous != nullptr && previous != button && ::IsChild(root, previous) ? previous : root);
        return 0;
    }
    return ::CallWindowProcW(buttonProc, button, message, wParam, lParam);
}

std::wstring MainClassName() {
    return std::wstring(std::begin(kMainWindowClassName), std::end(kMainWindowClassName) - 1);
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

// ------------------------------------------------------------------ the window

class Win32MainWindow final : public MainWindowView {
  public:
    explicit Win32MainWindow(TfrmMainPatcher& form);
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;
    ~Win32MainWindow() override;

    void Refresh(MainControl control, const ControlState& state) override;
    void Focus(MainControl control) override;
    void ShowCentred() override;
    void ProcessPendingMessages() override;
    std::optional<ByteString> ShowOpenDialog(const OpenDialogSettings& settings) override;
    NativeWindow Handle() const override { return win32::FromHwnd(window_.Get()); }
    void Close() override;
    void SetRunInProgress(bool inProgress) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id);
    LRESULT OnControlColour(HDC dc, HWND control) const;
    bool OnDrawItem(const DRAWITEMSTRUCT& item) const;
    LRESULT OnCustomDraw(const NMCUSTOMDRAW& draw) const;
    void OnActivate(bool active);
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
    HWND focusBeforeDeactivation_ = nullptr;
    bool runInProgress_ = false;
    bool quitOnDestroy_ = true;
    UniqueWindow window_;
};

Win32MainWindow::Win32MainWindow(TfrmMainPatcher& form) : form_(form) {
    RegisterWindowClass(kPanelClassName, PanelProc, COLOR_BTNFACE);
    const std::wstring className = MainClassName();
    RegisterWindowClass(className.c_str(), WindowProc, COLOR_BTNFACE);
    for (const ControlDesign& design : MainWindowDesign) {
        if (design.Kind == K::FlagButton) {
            glyphImages_[Index(design.Control)] = LoadGlyph(design.Control);
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
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const ControlDesign& design : MainWindowDesign) {
        if (design.Kind == K::Window) {
            continue;
        }
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
                style |= BS_CHECKBOX | BS_PUSHLIKE | BS_FLAT;
                if (glyphImages_[Index(design.Control)]) {
                    style |= BS_BITMAP;
                }
                break;
            case K::Window:
                break;
        }
        if (design.TabStop) {
            style |= WS_TABSTOP;
        }
        const HWND child = ::CreateWindowExW(
            extendedStyle, windowClass, L"", style, 0, 0, 0, 0, controls_[Index(design.Parent)],
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(MainControlId(design.Control))), instance, nullptr);
        if (child == nullptr) {
            throw PlatformError("CreateWindowExW", ::GetLastError());
        }
        if (design.Kind == K::Panel) {
            ::SetWindowLongPtrW(child, GWLP_USERDATA, SystemColourIndex(design.Colour));
        } else if (design.Kind == K::FlagButton) {
            const LONG_PTR buttonProc = ::GetWindowLongPtrW(child, GWLP_WNDPROC);
            ::SetWindowLongPtrW(child, GWLP_USERDATA, buttonProc);
            ::SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FlagButtonProc));
        }
        controls_[Index(design.Control)] = child;
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
        const std::wstring text = WideFromBytes(state.Caption, CharsetCodePage(state.Font.Charset()));
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
        ::SetFocus(window);
    }
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

void Win32MainWindow::ProcessPendingMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // For the program's own loop, which ends on it.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!window_ || !::IsDialogMessageW(window_.Get(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

std::optional<ByteString> Win32MainWindow::ShowOpenDialog(const OpenDialogSettings& settings) {
    // "description|pattern|..." becomes "description\0pattern\0...\0\0".
    ByteString filter = settings.Filter;
    std::replace(filter.begin(), filter.end(), '|', '\0');
    filter.push_back('\0');  // c_str() adds the second
    ByteString file(32768, '\0');
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_.Get();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = settings.Title.empty() ? nullptr : settings.Title.c_str();  // empty: the system's title
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | (settings.Resizable ? OFN_ENABLESIZING : 0);
    if (!::GetOpenFileNameA(&dialog)) {
        return std::nullopt;  // cancelled, or the dialog could not open
    }
    file.resize(file.find('\0'));
    return file;
}

void Win32MainWindow::Close() {
    window_.Reset();
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
        const SIZE text = MeasureLine(fonts_[Index(control)].Get(),
                                      WideFromBytes(state->Caption, CharsetCodePage(state->Font.Charset())));
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
    const GlyphImage composed = ComposeGlyph(*image, SystemColourRgb(COLOR_BTNFACE), ScaleToDpi(kGlyphWidth, dpi_),
                                             ScaleToDpi(kGlyphHeight, dpi_));
    UniqueBitmap bitmap = CreateBitmap(composed);
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
    try {
        return self->OnMessage(window, message, wParam, lParam);
    } catch (...) {
        // Nothing leaves a window procedure; a handler that failed has done nothing more.
        return 0;
    }
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
        case WM_DRAWITEM:
            if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
                return TRUE;
            }
            break;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->code == NM_CUSTOMDRAW) {
                return OnCustomDraw(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam));
            }
            break;
        case WM_ACTIVATE:
            OnActivate(LOWORD(wParam) != WA_INACTIVE);
            if (LOWORD(wParam) != WA_INACTIVE && ::GetFocus() != nullptr && ::IsChild(window, ::GetFocus())) {
                return 0;  // the focus went back to its control
            }
            break;
        case WM_CLOSE:
            // Alt+F4 or the taskbar: not while a run is between its steps.
            if (form_.FormCloseQuery()) {
                Close();
            }
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
            const SIZE outer = OuterSize(ScaleToDpi(kClientWidth, static_cast<int>(wParam)),
                                         ScaleToDpi(kClientHeight, static_cast<int>(wParam)), static_cast<int>(wParam));
            *reinterpret_cast<SIZE*>(lParam) = outer;
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
    const int colour =
        ::GetParent(control) == Child(C::pnlTop) ? SystemColourIndex(DesignOf(C::pnlTop).Colour) : COLOR_BTNFACE;
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkColor(dc, ::GetSysColor(colour));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(colour));
}

bool Win32MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) const {
    if (item.CtlID != static_cast<UINT>(MainControlId(C::Bevel1))) {
        return false;
    }
    // Bevel1: an etched line along its top edge.
    RECT bounds = item.rcItem;
    ::FillRect(item.hDC, &bounds, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(item.hDC, &bounds, EDGE_ETCHED, BF_TOP);
    return true;
}

// The flag buttons drawn flat, as speed buttons are: the face with the picture, a thin raised edge under
// the mouse, a thin sunken edge and the picture a pixel lower right while pressed. Buttons in the system's
// visual style ignore BS_FLAT, and without the visual style nothing asks here: BS_FLAT then does it.
LRESULT Win32MainWindow::OnCustomDraw(const NMCUSTOMDRAW& draw) const {
    const std::optional<MainControl> control = ControlOfId(static_cast<int>(draw.hdr.idFrom));
    if (!control || DesignOf(*control).Kind != K::FlagButton || draw.dwDrawStage != CDDS_PREPAINT) {
        return CDRF_DODEFAULT;
    }
    const HBITMAP glyph = glyphs_[Index(*control)].Get();
    if (glyph == nullptr) {
        return CDRF_DODEFAULT;  // the button shows its text
    }
    RECT bounds = draw.rc;
    ::FillRect(draw.hdc, &bounds, ::GetSysColorBrush(COLOR_BTNFACE));
    const bool down =
        ::SendMessageW(draw.hdr.hwndFrom, BM_GETCHECK, 0, 0) == BST_CHECKED || (draw.uItemState & CDIS_SELECTED) != 0;
    if (down) {
        ::DrawEdge(draw.hdc, &bounds, BDR_SUNKENOUTER, BF_RECT);
    } else if ((draw.uItemState & CDIS_HOT) != 0) {
        ::DrawEdge(draw.hdc, &bounds, BDR_RAISEDINNER, BF_RECT);
    }
    BITMAP picture{};
    ::GetObjectW(glyph, sizeof(picture), &picture);
    const UniqueMemoryDc source(::CreateCompatibleDC(draw.hdc));
    if (source) {
        const Selection selection(source.Get(), glyph);
        const int shift = down ? 1 : 0;
        ::BitBlt(draw.hdc, (draw.rc.left + draw.rc.right - picture.bmWidth) / 2 + shift,
                 (draw.rc.top + draw.rc.bottom - picture.bmHeight) / 2 + shift, picture.bmWidth, picture.bmHeight,
                 source.Get(), 0, 0, SRCCOPY);
    }
    return CDRF_SKIPDEFAULT;
}

// As a dialog does: the control that had the focus gets it back when the window is active again.
void Win32MainWindow::OnActivate(bool active) {
    if (!active) {
        const HWND focus = ::GetFocus();
        focusBeforeDeactivation_ = focus != nullptr && ::IsChild(window_.Get(), focus) ? focus : nullptr;
        return;
    }
    const HWND focus = focusBeforeDeactivation_;
    if (focus != nullptr && ::IsChild(window_.Get(), focus) && ::IsWindowEnabled(focus) && ::IsWindowVisible(focus)) {
        ::SetFocus(focus);
    }
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
    focusBeforeDeactivation_ = nullptr;
}

}  // namespace

// ------------------------------------------------------------------ the program's side

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

std::unique_ptr<MainWindowView> CreateWin32MainWindow(TfrmMainPatcher& form) {
    return std::make_unique<Win32MainWindow>(form);
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
        if (window == nullptr || !::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

}  // namespace patcher

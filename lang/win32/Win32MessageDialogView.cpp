// The message dialog on Windows: a dialog made from an empty in-memory template, whose label and buttons are
// created and placed in pixels from the portable layout. Every text is decoded with the code page of the
// font's character set and drawn through the W functions, so the dialog looks the same under any system
// code page.
#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "lang/LanguageRules.h"
#include "lang/untPytanie.h"
#include "lang/win32/GdiTextMeasure.h"
#include "platform/PlatformError.h"
#include "platform/win32/NativeWindowWin32.h"
#include "platform/win32/SystemFont.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

using win32::CreateSystemFont;
using win32::UniqueFont;
using win32::UniqueMemoryDc;
using win32::WideFromBytes;

constexpr int kLabelId = 1000;
constexpr std::array<int, kDialogButtonCount> kButtonIds = {1001, 1002, 1003};
// What EndDialog reports when the dialog could not be built; no button answers it.
constexpr INT_PTR kNotShown = -1;

// Measures with the same call and flags that the label's static control draws with.
class GdiTextMeasure final : public TextMeasure {
  public:
    GdiTextMeasure(UniqueFont font, unsigned codePage)
        : font_(std::move(font)), dc_(::CreateCompatibleDC(nullptr)), codePage_(codePage) {
        if (!dc_) {
            throw PlatformError("CreateCompatibleDC", ::GetLastError());
        }
        previousFont_ = ::SelectObject(dc_.Get(), font_.Get());
        if (previousFont_ == nullptr || previousFont_ == HGDI_ERROR) {
            // Measured in the context's own font, the text would not fit the label that draws it.
            throw PlatformError("SelectObject of the dialog's font", ERROR_INVALID_HANDLE);
        }
        TEXTMETRICW metrics{};
        if (!::GetTextMetricsW(dc_.Get(), &metrics)) {
            const DWORD error = ::GetLastError();
            ::SelectObject(dc_.Get(), previousFont_);
            throw PlatformError("GetTextMetricsW", error);
        }
        lineHeight_ = metrics.tmHeight;
    }
    GdiTextMeasure(const GdiTextMeasure&) = delete;
    GdiTextMeasure& operator=(const GdiTextMeasure&) = delete;
    // The font goes back out of the device context before either is deleted.
    ~GdiTextMeasure() override { ::SelectObject(dc_.Get(), previousFont_); }

    int LineWidth(ByteStringView line) const override {
        std::wstring wide = WideFromBytes(line, codePage_);
        if (wide.empty()) {
            return 0;  // DrawTextW answers 0 for no text, as it does for a failure
        }
        RECT bounds{0, 0, 0, 0};
        if (::DrawTextW(dc_.Get(), wide.data(), static_cast<int>(wide.size()), &bounds,
                        DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS) == 0) {
            throw PlatformError("DrawTextW", ::GetLastError());
        }
        return static_cast<int>(bounds.right - bounds.left);
    }

    int LineHeight() const override { return lineHeight_; }

  private:
    UniqueFont font_;
    UniqueMemoryDc dc_;
    unsigned codePage_;
    HGDIOBJ previousFont_ = nullptr;
    int lineHeight_ = 0;
};

// Lives on ShowModal's stack for one showing; the dialog's window procedure reaches it through DWLP_USER.
struct ShowingState {
    const MessageDialogScreen& Screen;
    HWND Owner;
    UniqueFont Font;  // outlives the dialog's window, which draws with it
    std::array<HWND, kDialogButtonCount> Buttons{};
};

HWND CreateChild(HWND dialog,
                 const wchar_t* windowClass,
                 const std::wstring& text,
                 DWORD style,
                 int id,
                 int left,
                 int top,
                 int width,
                 int height,
                 HFONT font) {
    HWND child =
        ::CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | style, left, top, width, height, dialog,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (child == nullptr) {
        throw PlatformError("CreateWindowExW", ::GetLastError());
    }
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;  // destroyed with the dialog
}

PixelRect OuterRect(HWND owner) {
    RECT rect{};
    if (owner != nullptr) {
        if (!::GetWindowRect(owner, &rect)) {
            throw PlatformError("GetWindowRect", ::GetLastError());
        }
    } else if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rect, 0)) {
        throw PlatformError("SystemParametersInfoW", ::GetLastError());
    }
    return PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void BuildDialog(HWND dialog, ShowingState& state) {
    const MessageDialogScreen& screen = state.Screen;
    const MessageDialogLayout& layout = screen.Layout;
    // Every text is read as Windows-1250, whatever character set the font draws it with.
    const unsigned codePage = kTextCodePage;
    state.Font = CreateSystemFont(screen.Font);
    HFONT font = state.Font.Get();

    ::SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SetWindowTextW(dialog, WideFromBytes(screen.Caption, codePage).c_str());

    // SS_NOPREFIX: a "&" in a message (a path, say) is shown, not taken for a mnemonic.
    CreateChild(dialog, L"STATIC", WideFromBytes(screen.LabelText, codePage), WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                kLabelId, layout.Label.Left, layout.Label.Top, layout.Label.Width, layout.Label.Height, font);
    for (int i = 0; i < kDialogButtonCount; ++i) {
        const DialogButtonLayout& button = layout.Buttons[static_cast<std::size_t>(i)];
        const DWORD shown = button.Visible ? WS_VISIBLE : WS_DISABLED;
        state.Buttons[static_cast<std::size_t>(i)] =
            CreateChild(dialog, L"BUTTON", WideFromBytes(screen.ButtonCaptions[static_cast<std::size_t>(i)], codePage),
                        shown | WS_TABSTOP | BS_PUSHBUTTON, kButtonIds[static_cast<std::size_t>(i)], button.Left,
                        button.Top, dialog_design::kButtonWidth, dialog_design::kButtonHeight, font);
    }

    RECT outer{0, 0, layout.ClientWidth, layout.ClientHeight};
    const auto style = static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE));
    const auto extendedStyle = static_cast<DWORD>(::GetWindowLongW(dialog, GWL_EXSTYLE));
    if (!::AdjustWindowRectEx(&outer, style, FALSE, extendedStyle)) {
        throw PlatformError("AdjustWindowRectEx", ::GetLastError());
    }
    const int width = static_cast<int>(outer.right - outer.left);
    const int height = static_cast<int>(outer.bottom - outer.top);
    const PixelPoint origin = CentreOver(OuterRect(state.Owner), width, height);
    if (!::SetWindowPos(dialog, nullptr, origin.Left, origin.Top, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) {
        throw PlatformError("SetWindowPos", ::GetLastError());
    }

    // Through the dialog manager, so that the focused button is also the one Enter presses.
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(state.Buttons[kButtonTak]), TRUE);
}

// The answer of a press of the button, or none when the button is not one that can be pressed now.
std::optional<int> AnswerOf(const ShowingState& state, int button) {
    if (button == kNoButton) {
        return std::nullopt;
    }
    const DialogButtonLayout& layout = state.Screen.Layout.Buttons[static_cast<std::size_t>(button)];
    if (!layout.Visible) {
        return std::nullopt;
    }
    return layout.Result;
}

int ButtonOfControl(const ShowingState& state, HWND control) {
    for (int i = 0; i < kDialogButtonCount; ++i) {
        if (control != nullptr && state.Buttons[static_cast<std::size_t>(i)] == control) {
            return i;
        }
    }
    return kNoButton;
}

int ButtonOfId(int id) {
    const auto* found = std::find(kButtonIds.begin(), kButtonIds.end(), id);
    return found == kButtonIds.end() ? kNoButton : static_cast<int>(found - kButtonIds.begin());
}

void OnCommand(HWND dialog, const ShowingState& state, int id) {
    std::optional<int> answer;
    if (id == IDCANCEL) {
        // Esc, and closing the window by the keyboard: the cancel button of the kind, if it has one.
        answer = AnswerOf(state, state.Screen.Layout.CancelButton);
    } else if (id == IDOK) {
        // Enter where no button is the default one: the focused button.
        answer = AnswerOf(state, ButtonOfControl(state, ::GetFocus()));
    } else {
        answer = AnswerOf(state, ButtonOfId(id));
    }
    if (answer) {
        ::EndDialog(dialog, *answer);
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
            case WM_INITDIALOG: {
                auto* state = reinterpret_cast<ShowingState*>(lParam);
                ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
                BuildDialog(dialog, *state);
                return FALSE;  // the focus is set already
            }
            case WM_COMMAND: {
                const auto* state = reinterpret_cast<const ShowingState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
                if (state != nullptr && HIWORD(wParam) == BN_CLICKED) {
                    OnCommand(dialog, *state, LOWORD(wParam));
                }
                return TRUE;
            }
            default:
                return FALSE;
        }
    } catch (...) {
        // Nothing leaves a window procedure; the caller learns from the answer that nothing was shown.
        ::EndDialog(dialog, kNotShown);
        return TRUE;
    }
}

// An empty dialog: a caption and a modal frame, no system menu (so no close button), no controls.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE Header;
    WORD Menu;
    WORD WindowClass;
    WORD Title;
};

class Win32MessageDialogView final : public MessageDialogView {
  public:
    std::unique_ptr<TextMeasure> MeasureIn(const FontDescription& font) override {
        return win32::MeasureInFont(CreateSystemFont(font), kTextCodePage);
    }

    int ShowModal(const MessageDialogScreen& screen, NativeWindow owner) override {
        static constexpr EmptyDialogTemplate kTemplate{
            {WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 0, 0, 0, 0, 0}, 0, 0, 0};
        ShowingState state{screen, win32::ToHwnd(owner), {}, {}};
        ::SetLastError(ERROR_SUCCESS);
        const INT_PTR answer = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &kTemplate.Header, state.Owner,
                                                         DialogProc, reinterpret_cast<LPARAM>(&state));
        if (answer != kResultYes && answer != kResultNo && answer != kResultCancel) {
            throw PlatformError("DialogBoxIndirectParamW", ::GetLastError());
        }
        return static_cast<int>(answer);
    }
};

}  // namespace

std::unique_ptr<TextMeasure> win32::MeasureInFont(UniqueFont font, unsigned codePage) {
    return std::make_unique<GdiTextMeasure>(std::move(font), codePage);
}

std::unique_ptr<MessageDialogView> CreateWin32MessageDialogView() {
    return std::make_unique<Win32MessageDialogView>();
}

}  // namespace patcher

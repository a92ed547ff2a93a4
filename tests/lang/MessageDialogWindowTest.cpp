// The real dialog under a window system, driven from a second thread by window messages, as a user would
// drive it: find it, read it, press its buttons and Esc.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "lang/MessageCatalogue.h"
#include "lang/untPytanie.h"
#include "platform/win32/NativeWindowWin32.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

using namespace std::chrono_literals;

struct SeenButton {
    HWND Window = nullptr;
    std::wstring Caption;
    bool Visible = false;
    bool Enabled = false;
    RECT Bounds{};  // in the dialog's client area
};

// What the driver saw of one showing.
struct SeenDialog {
    bool Found = false;
    std::wstring Caption;
    std::wstring LabelText;
    RECT Label{};
    int LineHeight = 0;
    std::vector<SeenButton> Buttons;  // in creation (tab) order
    RECT Client{};
    RECT Outer{};
    bool OwnerEnabled = true;
    HWND Focus = nullptr;
    bool Closed = false;  // by the driver's action, within the time allowed
};

std::wstring TextOf(HWND window) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK, 5000,
                          &copied);
    return std::wstring(buffer, copied);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

RECT ClientBounds(HWND child, HWND dialog) {
    RECT bounds{};
    ::GetWindowRect(child, &bounds);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

int LineHeightOf(HWND control) {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    win32::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    const HGDIOBJ previous = ::SelectObject(dc.Get(), font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.Get(), &metrics);
    ::SelectObject(dc.Get(), previous);
    return metrics.tmHeight;
}

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM result) {
    if (ClassOf(window) == L"#32770" && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialogOf(DWORD threadId) {
    HWND found = nullptr;
    ::EnumThreadWindows(threadId, TakeVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void PressEsc(const SeenDialog& seen) {
    ::PostMessageW(seen.Focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(seen.Focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void Click(const SeenButton& button) {
    // Posted behind whatever was posted before, so that it comes last.
    ::PostMessageW(button.Window, BM_CLICK, 0, 0);
}

// Owns a plain top-level window for the dialog to be modal over.
class OwnerWindow {
  public:
    OwnerWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"PatcherTestOwner";
        ::RegisterClassW(&windowClass);  // fails harmlessly when already registered
        window_.Reset(::CreateWindowExW(0, L"PatcherTestOwner", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 90,
                                        640, 480, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
        creationError_ = window_ ? 0 : ::GetLastError();
    }

    HWND Get() const { return window_.Get(); }
    DWORD CreationError() const { return creationError_; }

  private:
    win32::UniqueWindow window_;
    DWORD creationError_ = 0;
};

class MessageDialogWindowTest : public ::testing::Test {
  protected:
    MessageDialogWindowTest() : dialog_(CreateWin32MessageDialogView()) {}

    void SetUp() override {
        // Without a working window system (no display, or a Wine prefix whose desktop was made without one)
        // no dialog can show; say so at once instead of waiting for one.
        ASSERT_TRUE(owner_.Get() != nullptr)
            << "no window can be created here (error " << owner_.CreationError() << ")";
    }

    // Shows the dialog on this thread while a second thread inspects it and then acts on it; returns the
    // answer. The action must close the dialog; if it does not within a few seconds, every visible button
    // is clicked so that the test ends, and Closed stays false.
    int Show(ByteStringView text,
             DialogKind kind,
             SeenDialog& seen,
             const std::function<void(const SeenDialog&)>& action) {
        const DWORD threadId = ::GetCurrentThreadId();
        HWND owner = owner_.Get();
        seen = SeenDialog{};
        std::thread driver([&seen, &action, threadId, owner] {
            HWND dialog = nullptr;
            for (auto waited = 0ms; dialog == nullptr && waited < 10s; waited += 10ms) {
                std::this_thread::sleep_for(10ms);
                dialog = FindDialogOf(threadId);
            }
            if (dialog == nullptr) {
                return;
            }
            seen.Found = true;
            seen.Caption = TextOf(dialog);
            ::GetClientRect(dialog, &seen.Client);
            ::GetWindowRect(dialog, &seen.Outer);
            seen.OwnerEnabled = ::IsWindowEnabled(owner) != FALSE;
            // The dialog may show a moment before it takes the focus: wait for the focus to arrive inside it
            // (if it never does, Focus stays outside and the layout check fails).
            for (auto waited = 0ms; waited < 5s; waited += 10ms) {
                GUITHREADINFO gui{};
                gui.cbSize = sizeof(gui);
                ::GetGUIThreadInfo(threadId, &gui);
                seen.Focus = gui.hwndFocus;
                if (seen.Focus != nullptr && ::IsChild(dialog, seen.Focus)) {
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
            for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                if (ClassOf(child) == L"Static") {
                    seen.LabelText = TextOf(child);
                    seen.Label = ClientBounds(child, dialog);
                    seen.LineHeight = LineHeightOf(child);
                } else if (ClassOf(child) == L"Button") {
                    seen.Buttons.push_back({child, TextOf(child), ::IsWindowVisible(child) != FALSE,
                                            ::IsWindowEnabled(child) != FALSE, ClientBounds(child, dialog)});
                }
            }
            action(seen);
            for (auto waited = 0ms; ::IsWindow(dialog) && waited < 5s; waited += 10ms) {
                std::this_thread::sleep_for(10ms);
            }
            seen.Closed = !::IsWindow(dialog);
            for (const SeenButton& button : seen.Buttons) {
                if (!seen.Closed && button.Visible) {
                    Click(button);
                }
            }
        });
        const int answer = ShowMessageDialog(dialog_, win32::FromHwnd(owner), text, kind);
        driver.join();
        return answer;
    }

    // The dialog as the layout rules place it: label at (16, 16), client area around it, buttons 6 pixels
    // above the bottom, the dialog centred over its owner, the owner disabled, the first button focused.
    void ExpectLaidOut(const SeenDialog& seen) const {
        ASSERT_TRUE(seen.Found);
        ASSERT_EQ(seen.Buttons.size(), 3u);
        EXPECT_EQ(seen.Label.left, 16);
        EXPECT_EQ(seen.Label.top, 16);
        const LONG labelWidth = seen.Label.right - seen.Label.left;
        const LONG labelHeight = seen.Label.bottom - seen.Label.top;
        EXPECT_EQ(seen.Client.right, 32 + labelWidth);
        EXPECT_EQ(seen.Client.bottom, labelHeight + 63);
        EXPECT_GT(seen.LineHeight, 0);
        if (seen.LineHeight > 0) {
            EXPECT_EQ(labelHeight % seen.LineHeight, 0);
        }
        for (const SeenButton& button : seen.Buttons) {
            EXPECT_EQ(button.Bounds.bottom, seen.Client.bottom - 6);
            EXPECT_EQ(button.Bounds.right - button.Bounds.left, 97);
            EXPECT_EQ(button.Bounds.bottom - button.Bounds.top, 23);
        }
        EXPECT_EQ(seen.Buttons[1].Bounds.left, seen.Buttons[0].Bounds.left + 105);
        EXPECT_EQ(seen.Buttons[2].Bounds.left, seen.Buttons[1].Bounds.left + 105);

        RECT owner{};
        ::GetWindowRect(owner_.Get(), &owner);
        const LONG width = seen.Outer.right - seen.Outer.left;
        const LONG height = seen.Outer.bottom - seen.Outer.top;
        EXPECT_EQ(seen.Outer.left, owner.left + (owner.right - owner.left - width) / 2);
        EXPECT_EQ(seen.Outer.top, owner.top + (owner.bottom - owner.top - height) / 2);
        EXPECT_FALSE(seen.OwnerEnabled);
        EXPECT_EQ(seen.Focus, seen.Buttons[0].Window);
        EXPECT_TRUE(seen.Closed);
        EXPECT_TRUE(::IsWindowEnabled(owner_.Get()));
    }

    static std::vector<std::wstring> VisibleCaptions(const SeenDialog& seen) {
        std::vector<std::wstring> captions;
        for (const SeenButton& button : seen.Buttons) {
            EXPECT_EQ(button.Visible, button.Enabled) << "a button is enabled exactly while it shows";
            if (button.Visible) {
                captions.push_back(button.Caption);
            }
        }
        return captions;
    }

    OwnerWindow owner_;
    TfrmPytanie dialog_;
};

using Captions = std::vector<std::wstring>;

TEST_F(MessageDialogWindowTest, KindZeroShowsOneOkButtonThatEscDoesNotPress) {
    SetDialogLanguage(dialog_, kPolish);
    SeenDialog seen;
    const int answer = Show("OK", kDialogOk, seen, [](const SeenDialog& s) {
        PressEsc(s);
        Click(s.Buttons.at(0));
    });
    EXPECT_EQ(answer, 6);
    ExpectLaidOut(seen);
    EXPECT_EQ(seen.Caption, L"Uwaga");
    EXPECT_EQ(VisibleCaptions(seen), (Captions{L"OK"}));
    EXPECT_EQ(seen.LabelText, L"OK");
    EXPECT_EQ(seen.Client.right, 129);  // widened to the one button
    EXPECT_EQ(seen.Buttons[0].Bounds.left, 16);
}

TEST_F(MessageDialogWindowTest, EscPressesTheCancelButtonOfEachKind) {
    SetDialogLanguage(dialog_, kEnglish);
    const struct {
        DialogKind Kind;
        Captions Visible;
        int EscAnswer;
    } cases[] = {
        {kDialogYesNo, {L"Yes", L"No"}, 7},
        {kDialogOkCancel, {L"OK", L"Cancel"}, 7},
        {kDialogYesNoCancel, {L"Yes", L"No", L"Cancel"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.Kind});
        SeenDialog seen;
        EXPECT_EQ(Show("Continue?", c.Kind, seen, [](const SeenDialog& s) { PressEsc(s); }), c.EscAnswer);
        ExpectLaidOut(seen);
        EXPECT_EQ(seen.Caption, L"Attention");
        EXPECT_EQ(VisibleCaptions(seen), c.Visible);
    }
}

TEST_F(MessageDialogWindowTest, EachButtonAnswersItsResult) {
    SetDialogLanguage(dialog_, kPolish);
    const struct {
        DialogKind Kind;
        std::size_t Button;
        int Answer;
    } cases[] = {
        // The second button of kind 2 is covered below.
        {kDialogYesNo, 1, 7},
        {kDialogOkCancel, 0, 6},
        {kDialogYesNoCancel, 1, 7},
        {kDialogYesNoCancel, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Kind) + " button " + std::to_string(c.Button));
        SeenDialog seen;
        const std::size_t button = c.Button;
        EXPECT_EQ(Show("Pytanie", c.Kind, seen, [button](const SeenDialog& s) { Click(s.Buttons.at(button)); }),
                  c.Answer);
        EXPECT_TRUE(seen.Closed);
    }
}

TEST_F(MessageDialogWindowTest, AYesNoQuestionAfterAnOkCancelOneSaysYesAndNoAgain) {
    SetDialogLanguage(dialog_, kGerman);
    SeenDialog okCancel;
    EXPECT_EQ(Show("Weiter?", kDialogOkCancel, okCancel, [](const SeenDialog& s) { Click(s.Buttons.at(1)); }), 7);
    EXPECT_EQ(VisibleCaptions(okCancel), (Captions{L"OK", L"Abbrechen"}));
    SeenDialog yesNo;
    EXPECT_EQ(Show("Weiter?", kDialogYesNo, yesNo, [](const SeenDialog& s) { Click(s.Buttons.at(0)); }), 6);
    EXPECT_EQ(yesNo.Caption, L"Achtung");
    EXPECT_EQ(VisibleCaptions(yesNo), (Captions{L"Ja", L"Nein"}));
    ExpectLaidOut(yesNo);
}

TEST_F(MessageDialogWindowTest, WrapsALongTextWithin400Pixels) {
    SetDialogLanguage(dialog_, kPolish);
    ByteString text =
        "B\xB3\xB9"
        "d - nie znaleziono pliku C:\\Program Files\\Vokarion\\VokarEn.exe w katalogu "
        "programu. Sprawd\x9F, czy program jest zainstalowany, i uruchom aktualizacj\xEA ponownie.";
    SeenDialog seen;
    EXPECT_EQ(Show(text, kDialogOk, seen, [](const SeenDialog& s) { Click(s.Buttons.at(0)); }), 6);
    ExpectLaidOut(seen);
    EXPECT_LE(seen.Label.right - seen.Label.left, 400);
    EXPECT_LE(seen.Client.right, 432);
    EXPECT_GT(seen.Label.bottom - seen.Label.top, seen.LineHeight);  // more than one line
    EXPECT_NE(seen.LabelText.find(L"\r\n"), std::wstring::npos);
    EXPECT_EQ(seen.LabelText.substr(0, 4), L"B\u0142\u0105d");
}

TEST_F(MessageDialogWindowTest, GivesEachLineOfTheTextALine) {
    SetDialogLanguage(dialog_, kEnglish);
    SeenDialog seen;
    EXPECT_EQ(
        Show("First line\r\nSecond\r\nThird", kDialogYesNo, seen, [](const SeenDialog& s) { Click(s.Buttons.at(0)); }),
        6);
    ExpectLaidOut(seen);
    EXPECT_EQ(seen.LabelText, L"First line\r\nSecond\r\nThird");
    EXPECT_EQ(seen.Label.bottom - seen.Label.top, 3 * seen.LineHeight);
    EXPECT_EQ(seen.Client.right, 32 + 202);  // the lines are narrower than the two buttons
}

TEST_F(MessageDialogWindowTest, ReadsTheBytesAsWindows1250InEveryLanguage) {
    const ByteString text =
        "Zako\xF1"
        "cz & B\xB3\xB9"
        "d";
    const struct {
        LanguageCode Language;
        const wchar_t* Caption;
        const wchar_t* Label;
    } cases[] = {
        {kPolish, L"Uwaga", L"Zako\u0144cz & B\u0142\u0105d"},
        {kFrench, L"Uwaga", L"Zako\u0144cz & B\u0142\u0105d"},
        {kRussian, L"Uwaga", L"Zako\u0144cz & B\u0142\u0105d"},
        {kGerman, L"Achtung", L"Zako\u0144cz & B\u0142\u0105d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.Language});
        SetDialogLanguage(dialog_, c.Language);
        SeenDialog seen;
        EXPECT_EQ(Show(text, kDialogOk, seen, [](const SeenDialog& s) { Click(s.Buttons.at(0)); }), 6);
        EXPECT_EQ(seen.Caption, c.Caption);
        EXPECT_EQ(seen.LabelText, c.Label);
    }
}

}  // namespace
}  // namespace patcher

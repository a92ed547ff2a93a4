// The real main window under a window system, over a fake product: its child controls, texts, flags,
// layout at two DPIs, the keyboard, and closing during and after a run. Everything runs on the test's
// thread; the window's messages are let through as the program does, with a deadline where a test waits.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindowDesign.h"
#include "app/untMainPatcher.h"
#include "app/win32/Win32MainWindow.h"
#include "app/win32/WindowDpi.h"
#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"
#include "lang/untPytanie.h"
#include "platform/win32/NativeWindowWin32.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "profile/ProductProfile.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using namespace std::chrono_literals;
using C = MainControl;

constexpr std::array<MainControl, 4> kFlags = {C::btnPolski, C::btnAngielski, C::btnNiemiecki, C::btnFrancuski};

// A product whose one file is current, unless told otherwise; no dialog is ever needed.
class FakeSystem final : public UpdateRunSystem {
  public:
    ProductFolder FindInstallDir() override {
        ++Runs;
        if (DuringRun) {
            DuringRun();
        }
        return {"C:\\Vokarion", FolderSource::CurrentUserRecord};
    }
    bool DirectoryExists(ByteStringView) override { return true; }
    FilePresence LookUpFile(ByteStringView) override { return {Presence::File, 0}; }
    InUseWait FileWait(LockWait&) override { return {}; }
    Recognition RecogniseFileVersion(int, ByteStringView, InUseWait&) override {
        Recognition recognition;
        recognition.Result = Result;
        return recognition;
    }
    RewriteResult RewriteFile(int, ByteStringView, const FoundTarget&, InUseWait&) override {
        RewriteResult result;
        result.Ok = Rewrites;
        return result;
    }
    std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView) override { return {}; }

    int Runs = 0;
    CheckResult Result = CheckResult::Current;
    bool Rewrites = true;
    std::function<void()> DuringRun;
};

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

struct FoundChild {
    int Id;
    HWND Window;
};

BOOL CALLBACK TakeChildWithId(HWND child, LPARAM found) {
    auto* wanted = reinterpret_cast<FoundChild*>(found);
    if (::GetDlgCtrlID(child) == wanted->Id) {
        wanted->Window = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM found) {
    if (ClassOf(window) == L"#32770" && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// A control anywhere below the window, by its control id, as a test driver finds it.
HWND ControlWithId(HWND window, MainControl control) {
    FoundChild found{MainControlId(control), nullptr};
    ::EnumChildWindows(window, TakeChildWithId, reinterpret_cast<LPARAM>(&found));
    return found.Window;
}

// A child's rectangle in its parent's client area.
RECT BoundsInParent(HWND child) {
    RECT bounds{};
    ::GetWindowRect(child, &bounds);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    ::GetObjectW(handle, sizeof(font), &font);
    return font;
}

SIZE TextSize(HWND control) {
    const win32::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    const HGDIOBJ previous =
        ::SelectObject(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = TextOf(control);
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.data(), static_cast<int>(text.size()), &bounds,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
    ::SelectObject(dc.Get(), previous);
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The text a control should show: the form's caption decoded in the code page of the control's font.
std::wstring Expected(const ControlState& state) {
    return win32::WideFromBytes(state.Caption, kTextCodePage);
}

class MainWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { BecomeDpiAware(); }

    void SetUp() override {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
        form_ = std::make_unique<TfrmMainPatcher>(profile_, system_, [] { return kPolish; });
        try {
            view_ = CreateWin32MainWindow(*form_);
        } catch (const std::exception& error) {
            // Without a working window system nothing can show; say so at once.
            FAIL() << "no window can be created here: " << error.what();
        }
        form_->AttachView(*view_);
        form_->AttachDialog(dialog_);
        form_->Show();
        window_ = win32::ToHwnd(view_->Handle());
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override {
        view_.reset();
        // A closed window has asked the thread's loop to end; no other test must see that.
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND Control(MainControl control) const { return ControlWithId(window_, control); }

    // Lets the window's messages through, as the program's loop does, until the condition holds or the
    // deadline passes; returns the condition.
    bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5s) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            if (view_ && ::IsWindow(window_)) {
                view_->ProcessPendingMessages();
            }
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }

    // The window at the front with the keyboard focus on one of its controls, as after a user's click.
    bool Activate(MainControl focus) {
        ::SetForegroundWindow(window_);
        ::SetActiveWindow(window_);
        return PumpUntil([&] {
            ::SetFocus(Control(focus));
            return ::GetFocus() == Control(focus);
        });
    }

    void PressKey(WPARAM key) {
        const HWND target = ::GetFocus() != nullptr ? ::GetFocus() : window_;
        ::PostMessageW(target, WM_KEYDOWN, key, 0x00000001);
        ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }

    int Dpi() const {
        HDC screen = ::GetDC(nullptr);
        const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
        ::ReleaseDC(nullptr, screen);
        return dpi;
    }

    // Every component where the design puts it at the DPI, in the font of its state at that DPI; the
    // labels that size themselves as large as their text, so that none is cut.
    void ExpectLaidOutAt(int dpi) {
        RECT client{};
        ::GetClientRect(window_, &client);
        EXPECT_EQ(client.right, ScaleToDpi(kClientWidth, dpi));
        EXPECT_EQ(client.bottom, ScaleToDpi(kClientHeight, dpi));
        for (const ControlDesign& design : MainWindowDesign) {
            if (design.Kind == ControlKind::Window) {
                continue;
            }
            SCOPED_TRACE(MainControlId(design.Control));
            const HWND control = Control(design.Control);
            ASSERT_NE(control, nullptr);
            const ControlState& state = form_->Control(design.Control);
            DesignRect bounds = design.Bounds;
            bounds.Left = state.Left;
            const DesignRect expected = ScaleToDpi(bounds, dpi);
            const RECT seen = BoundsInParent(control);
            EXPECT_EQ(seen.left, expected.Left);
            EXPECT_EQ(seen.top, expected.Top);
            if (design.AutoSize) {
                const SIZE text = TextSize(control);
                EXPECT_EQ(seen.right - seen.left, text.cx);
                EXPECT_EQ(seen.bottom - seen.top, text.cy);
            } else {
                EXPECT_EQ(seen.right - seen.left, expected.Width);
                EXPECT_EQ(seen.bottom - seen.top, expected.Height);
            }
            if (design.Kind == ControlKind::Label || design.Kind == ControlKind::PushButton ||
                design.Kind == ControlKind::FlagButton) {
                const LOGFONTW font = FontOf(control);
                EXPECT_EQ(font.lfHeight, -ScaleToDpi(state.Font.Height(), dpi));
                EXPECT_EQ(font.lfCharSet, state.Font.Charset());
                EXPECT_EQ(font.lfWeight >= FW_BOLD, state.Font.Bold());
                EXPECT_EQ(std::wstring(font.lfFaceName), L"Arial");
            }
            if (design.Kind == ControlKind::Label && !design.WordWrap) {
                // One line of text fits, in width and height.
                const SIZE text = TextSize(control);
                EXPECT_LE(text.cx, seen.right - seen.left);
                EXPECT_LE(text.cy, seen.bottom - seen.top);
            }
            if (design.Kind == ControlKind::FlagButton) {
                const auto bitmap = reinterpret_cast<HBITMAP>(::SendMessageW(control, BM_GETIMAGE, IMAGE_BITMAP, 0));
                BITMAP picture{};
                ASSERT_NE(::GetObjectW(bitmap, sizeof(picture), &picture), 0);
                EXPECT_EQ(picture.bmWidth, ScaleToDpi(32, dpi));
                EXPECT_EQ(picture.bmHeight, ScaleToDpi(18, dpi));
            }
        }
    }

    ProductProfile profile_;
    FakeSystem system_;
    TfrmPytanie dialog_{CreateWin32MessageDialogView()};
    std::unique_ptr<TfrmMainPatcher> form_;
    std::unique_ptr<MainWindowView> view_;
    HWND window_ = nullptr;
};

TEST_F(MainWindowTest, EveryComponentIsAChildControlWithItsIdAndTheFormsText) {
    EXPECT_EQ(ClassOf(window_), L"TfrmMainPatcher");
    EXPECT_TRUE(::IsWindowVisible(window_));
    EXPECT_EQ(TextOf(window_), Expected(form_->Control(C::Window)));
    for (const ControlDesign& design : MainWindowDesign) {
        if (design.Kind == ControlKind::Window) {
            continue;
        }
        SCOPED_TRACE(MainControlId(design.Control));
        const HWND control = Control(design.Control);
        ASSERT_NE(control, nullptr);
        const HWND parent = design.Parent == C::Window ? window_ : Control(design.Parent);
        EXPECT_EQ(::GetParent(control), parent);
        const ControlState& state = form_->Control(design.Control);
        EXPECT_EQ(::IsWindowVisible(control) != FALSE, state.Visible);
        EXPECT_EQ(::IsWindowEnabled(control) != FALSE, state.Enabled);
        if (design.Kind == ControlKind::Label || design.Kind == ControlKind::PushButton ||
            design.Kind == ControlKind::FlagButton) {
            EXPECT_EQ(TextOf(control), Expected(state));
        }
        const auto style = static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE));
        EXPECT_EQ((style & WS_TABSTOP) != 0, design.TabStop);
        if (design.Kind == ControlKind::Label) {
            EXPECT_NE(style & SS_NOPREFIX, 0U) << "a \"&\" in a path must show";
        }
    }
    // The Polish letters, decoded from Windows-1250.
    EXPECT_EQ(TextOf(window_), L"Vokarion Języka Angielskiego - Uaktualnienie");
    EXPECT_EQ(TextOf(Control(C::lblJezyk)), L"Język / Language / Sprache / Langue:");
    EXPECT_EQ(TextOf(Control(C::btnZamknij)), L"Zakończ");
    EXPECT_EQ(TextOf(Control(C::btnPolski)), L"Polski");
    EXPECT_EQ(TextOf(Control(C::btnAngielski)), L"English");
    EXPECT_EQ(TextOf(Control(C::btnNiemiecki)), L"Deutsch");
    EXPECT_EQ(TextOf(Control(C::btnFrancuski)), L"Français");
    EXPECT_EQ(::SendMessageW(Control(C::btnUpdate), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, DLGC_DEFPUSHBUTTON);
}

// Language 2 shows the Polish wording in fonts of character set 0: its Polish letters read as the Polish
// letters they are (the character set picks glyphs only), while the fixed language caption keeps set 238.
TEST_F(MainWindowTest, ReadsEveryTextAsWindows1250WhateverItsFont) {
    form_->SetDisplayLanguage(kFrench);
    EXPECT_EQ(form_->Control(C::lblMain).Font.Charset(), kCharsetAnsi);
    const std::wstring main = TextOf(Control(C::lblMain));
    EXPECT_EQ(main, Expected(form_->Control(C::lblMain)));
    EXPECT_NE(main.find(L"Je\u017Celi"), std::wstring::npos);
    EXPECT_EQ(TextOf(Control(C::btnZamknij)), L"Zako\u0144cz");
    EXPECT_EQ(TextOf(Control(C::lblJezyk)), L"Język / Language / Sprache / Langue:");
    EXPECT_EQ(FontOf(Control(C::lblMain)).lfCharSet, kCharsetAnsi);
    EXPECT_EQ(FontOf(Control(C::lblJezyk)).lfCharSet, kCharsetEastEurope);
}

TEST_F(MainWindowTest, FlagsShowTheirPressedStateAndTakeClicks) {
    const HWND polski = Control(C::btnPolski);
    const HWND english = Control(C::btnAngielski);
    EXPECT_EQ(::SendMessageW(polski, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(english, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(::IsWindowVisible(Control(C::btnNiemiecki)));
    EXPECT_FALSE(::IsWindowVisible(Control(C::btnFrancuski)));
    for (const MainControl flag : kFlags) {
        const auto style = static_cast<DWORD>(::GetWindowLongW(Control(flag), GWL_STYLE));
        EXPECT_EQ(style & (BS_PUSHLIKE | BS_BITMAP | BS_FLAT), static_cast<DWORD>(BS_PUSHLIKE | BS_BITMAP | BS_FLAT));
    }
    ASSERT_TRUE(Activate(C::btnUpdate));

    ::SendMessageW(english, BM_CLICK, 0, 0);
    EXPECT_EQ(::SendMessageW(english, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(polski, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(form_->State().DisplayLanguage, kEnglish);
    EXPECT_EQ(TextOf(Control(C::btnUpdate)), L"Update");
    EXPECT_EQ(TextOf(window_), L"Vokarion Języka Angielskiego - Update");
    // A flag takes no focus: it goes back to the button that had it.
    EXPECT_EQ(::GetFocus(), Control(C::btnUpdate));

    // The pressed flag comes up; nothing else changes.
    ::SendMessageW(english, BM_CLICK, 0, 0);
    EXPECT_EQ(::SendMessageW(english, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(::SendMessageW(polski, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(TextOf(Control(C::btnUpdate)), L"Update");

    ::SendMessageW(polski, BM_CLICK, 0, 0);
    EXPECT_EQ(::SendMessageW(polski, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(TextOf(Control(C::btnUpdate)), L"Uaktualnij");
}

TEST_F(MainWindowTest, LaysOutTheDesignAtTheSystemDpiCentredOnTheScreen) {
    ExpectLaidOutAt(Dpi());
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor));
    EXPECT_LE(std::abs((outer.left + outer.right) - (monitor.rcMonitor.left + monitor.rcMonitor.right)), 1);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (monitor.rcMonitor.top + monitor.rcMonitor.bottom)), 1);
    const auto style = static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE));
    EXPECT_NE(style & WS_CAPTION, 0U);
    EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0U);
}

// What the system sends when the window moves to a monitor of another DPI: the size it asks for, then the
// change with the rectangle it suggests.
TEST_F(MainWindowTest, LaysItselfOutAgainWhenTheDpiChanges) {
    const int system = Dpi();
    for (const int dpi : {144, 120, system}) {
        SCOPED_TRACE(dpi);
        SIZE size{};
        ASSERT_TRUE(::SendMessageW(window_, 0x02E4 /* WM_GETDPISCALEDSIZE */, static_cast<WPARAM>(dpi),
                                   reinterpret_cast<LPARAM>(&size)));
        RECT outer{};
        ::GetWindowRect(window_, &outer);
        RECT suggested{outer.left, outer.top, outer.left + size.cx, outer.top + size.cy};
        ::SendMessageW(window_, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        ExpectLaidOutAt(dpi);
    }
}

TEST_F(MainWindowTest, TheUpdateButtonRunsAnUpdateToItsSummary) {
    system_.Result = CheckResult::OutOfDate;
    ::SendMessageW(Control(C::btnUpdate), BM_CLICK, 0, 0);
    EXPECT_EQ(system_.Runs, 1);
    EXPECT_EQ(TextOf(Control(C::lblMain)), win32::WideFromBytes(LookupMessage(kPolish, kSummaryUpdated), 1250));
    EXPECT_TRUE(::IsWindowEnabled(Control(C::btnUpdate)));
    EXPECT_TRUE(::IsWindowEnabled(Control(C::btnZamknij)));
}

TEST_F(MainWindowTest, EnterPressesUpdateAndAfterASuccessfulRunFinish) {
    ASSERT_TRUE(Activate(C::btnUpdate));
    PressKey(VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return system_.Runs == 1 && form_->State().RunDone; }));
    EXPECT_EQ(TextOf(Control(C::lblMain)), win32::WideFromBytes(LookupMessage(kPolish, kSummaryNothingToDo), 1250));
    // The run ends with the focus on btnZamknij, where Enter now finishes.
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == Control(C::btnZamknij); }));
    PressKey(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(window_); }));
    EXPECT_EQ(system_.Runs, 1);
}

// Disabling the focused Update button for the run takes the focus away; after a run that fails without a dialog
// it must be back on Update, where Enter tries again (the real focus: no key goes to the window itself).
TEST_F(MainWindowTest, AfterAFailedRunTheFocusIsBackOnUpdateWhereEnterTriesAgain) {
    system_.Result = CheckResult::OutOfDate;
    system_.Rewrites = false;
    ASSERT_TRUE(Activate(C::btnUpdate));
    PressKey(VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return system_.Runs == 1 && form_->State().RunDone; }));
    EXPECT_EQ(TextOf(Control(C::lblMain)), win32::WideFromBytes(LookupMessage(kPolish, kSummaryFailed), 1250));
    ASSERT_TRUE(PumpUntil([&] { return ::GetFocus() == Control(C::btnUpdate); }));
    PressKey(VK_RETURN);
    EXPECT_TRUE(PumpUntil([&] { return system_.Runs == 2; }));
}

TEST_F(MainWindowTest, TabWalksFromUpdateToFinishAndBack) {
    ASSERT_TRUE(Activate(C::btnUpdate));
    PressKey(VK_TAB);
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == Control(C::btnZamknij); }));
    PressKey(VK_TAB);
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == Control(C::btnUpdate); }));
}

TEST_F(MainWindowTest, RefusesToCloseWhileARunIsInProgress) {
    std::optional<bool> existsAfterClose;
    std::optional<LRESULT> endSession;
    system_.DuringRun = [&] {
        ::SendMessageW(window_, WM_CLOSE, 0, 0);
        existsAfterClose = ::IsWindow(window_) != FALSE;
        endSession = ::SendMessageW(window_, WM_QUERYENDSESSION, 0, 0);
    };
    ::SendMessageW(Control(C::btnUpdate), BM_CLICK, 0, 0);
    ASSERT_TRUE(existsAfterClose.has_value());
    EXPECT_TRUE(*existsAfterClose);
    EXPECT_EQ(endSession, FALSE);

    // After the run the window closes, and asks the program's loop to end.
    EXPECT_EQ(::SendMessageW(window_, WM_QUERYENDSESSION, 0, 0), TRUE);
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window_));
    MSG quit{};
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The open-file dialog of product kind 4, driven from a second thread as a user would: it is owned by the
// main window, offers the Polish filter, shows the system's own title, and answers the file typed into it;
// cancelled, it answers nothing.
TEST_F(MainWindowTest, TheOpenDialogOffersProgramFilesAndAnswersTheChosenOne) {
    constexpr int kFileNameBox = 0x47C;  // cmb13, the file name of an Explorer-style dialog
    constexpr int kFileTypeBox = 0x470;  // cmb1, the filter
    struct Seen {
        bool Found = false;
        HWND Owner = nullptr;
        std::wstring FileType;
        bool TitleShown = false;
    };
    const auto driveDialog = [&](Seen& seen, const std::wstring& fileName) {
        const DWORD thread = ::GetCurrentThreadId();
        return std::thread([&seen, fileName, thread] {
            HWND dialog = nullptr;
            for (auto waited = 0ms; dialog == nullptr && waited < 20s; waited += 20ms) {
                std::this_thread::sleep_for(20ms);
                ::EnumThreadWindows(thread, TakeVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
            }
            if (dialog == nullptr) {
                return;
            }
            seen.Found = true;
            seen.Owner = ::GetWindow(dialog, GW_OWNER);
            seen.TitleShown = ::GetWindowTextLengthW(dialog) > 0;
            const HWND fileType = ::GetDlgItem(dialog, kFileTypeBox);
            const auto selected = ::SendMessageW(fileType, CB_GETCURSEL, 0, 0);
            std::wstring text(static_cast<std::size_t>(::SendMessageW(fileType, CB_GETLBTEXTLEN, selected, 0)) + 1,
                              L'\0');
            ::SendMessageW(fileType, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text.data()));
            seen.FileType = text.c_str();
            if (fileName.empty()) {
                ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            } else {
                ::SendMessageW(::GetDlgItem(dialog, kFileNameBox), WM_SETTEXT, 0,
                               reinterpret_cast<LPARAM>(fileName.c_str()));
                ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            }
        });
    };

    std::wstring windowsDirectory(MAX_PATH, L'\0');
    windowsDirectory.resize(::GetWindowsDirectoryW(windowsDirectory.data(), MAX_PATH));
    const std::wstring program = windowsDirectory + L"\\notepad.exe";
    ASSERT_NE(::GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES);

    Seen chosen;
    std::thread driver = driveDialog(chosen, program);
    const std::optional<ByteString> answer = view_->ShowOpenDialog(form_->dlgOtworz);
    driver.join();
    ASSERT_TRUE(chosen.Found);
    EXPECT_EQ(chosen.Owner, window_);
    EXPECT_TRUE(chosen.TitleShown);
    EXPECT_EQ(chosen.FileType, L"Pliki programów");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Lower(*answer), Lower(std::string(program.begin(), program.end())));

    Seen cancelled;
    driver = driveDialog(cancelled, L"");
    EXPECT_FALSE(view_->ShowOpenDialog(form_->dlgOtworz).has_value());
    driver.join();
    EXPECT_TRUE(cancelled.Found);
}

}  // namespace
}  // namespace patcher

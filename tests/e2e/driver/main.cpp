// patcher_driver: drives the real patcher exe from outside, as a user or a screen reader would: it finds
// the patcher's windows, reads their texts with WM_GETTEXT, presses buttons with BM_CLICK or the keyboard,
// answers the message dialog, and writes what it saw into a report.
//
//   patcher_driver hold-desktop          keeps the window system's desktop open until the prefix ends, so
//                                        that programs started one after the other do not each wait for it
//   patcher_driver run SCRIPT REPORT     runs the steps of SCRIPT (one per line) and writes REPORT (UTF-8)
//   patcher_driver hold-until PATH LOG TEXT MILLISECONDS
//                                        holds the file as a running program does (open, sharing nothing),
//                                        writes PATH.held, and lets go MILLISECONDS after LOG holds TEXT
//
// Steps (CONTROL is a component's name, as lblMain or btnUpdate; TEXT is given as hex bytes in code page CP,
// so that no letter depends on how a command line is converted):
//   hold PATH                     opens the file without sharing and keeps it open until the script ends
//   writable PATH                 takes the file's read-only attribute away
//   start EXE                     starts the patcher and waits for its main window
//   click CONTROL                 BM_CLICK, returning when the button has handled it
//   post-click CONTROL            BM_CLICK, returning at once (for a button that starts a run)
//   key return|tab|escape         the key, pressed on the control with the focus
//   send-close                    asks the main window to close (WM_CLOSE), as Alt+F4 or the taskbar would
//   expect-text CONTROL CP TEXT   waits until the control shows TEXT
//   expect CONTROL STATE...       waits until the control is visible|hidden, enabled|disabled, down|up,
//                                 focused
//   wait-dialog CP TEXT           waits for the message dialog and checks its text (where the dialog broke
//                                 a long line, a space)
//   answer                        presses the first button of the open dialog and waits until it closes
//   no-dialog                     fails if a dialog is open
//   print CONTROL                 reports the control's text ("text CONTROL=" and its UTF-8 bytes in hex)
//   dump LANGUAGE                 reports the window and every control (LANGUAGE: the display language's
//                                 code, for the fonts that the texts must fit in)
//   screenshot PATH               asks whoever runs the driver for a picture of the screen: writes
//                                 PATH.wanted with the main window's place on the screen ("left top width
//                                 height") and waits until PATH.taken exists
//   exited [CODE]                 waits until the patcher has ended; fails if it has not or ended with another
//                                 exit code than CODE (0 when not given)
//
// Every wait has a deadline. The first step that fails ends the script: the report says which and what was
// seen instead, and the exit code is 1 (2 for a script that cannot be read).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "tests/e2e/HexText.h"
#include "tests/e2e/driver/PatcherWindows.h"
#include "tests/support/Win32TestHandles.h"

namespace patcher::driver {
namespace {

using e2e::Hex;

using namespace std::chrono_literals;

constexpr auto kDeadline = 30s;
constexpr auto kPoll = 10ms;

struct StepFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    return win32::WideFromBytes(utf8, CP_UTF8);
}

// TEXT of a step: hex bytes in a code page, decoded here with that code page.
std::wstring DecodeText(const std::string& codePage, const std::string& hex) {
    return win32::WideFromBytes(e2e::FromHex(hex), static_cast<unsigned>(std::stoul(codePage)));
}

// The message dialog breaks a long line at a space: the text it shows, with its breaks back as spaces.
std::wstring Unwrapped(std::wstring text) {
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at)) {
        text.replace(at, 2, L" ");
    }
    return text;
}

MainControl ControlNamed(const std::string& name) {
    for (int i = 0; i < kMainControlCount; ++i) {
        if (name == MainControlName(static_cast<MainControl>(i))) {
            return static_cast<MainControl>(i);
        }
    }
    throw std::invalid_argument("no control is called " + name);
}

std::string Describe(const ControlView& view) {
    std::ostringstream out;
    out << "visible=" << view.Visible << " enabled=" << view.Enabled << " down=" << view.Checked
        << " focused=" << view.Focused << " rect=" << view.Bounds.left << ',' << view.Bounds.top << ','
        << view.Bounds.right - view.Bounds.left << ',' << view.Bounds.bottom - view.Bounds.top
        << " fits=" << view.TextFits << " text=" << Hex(Utf8(view.Text));
    return out.str();
}

class Session {
  public:
    explicit Session(std::ofstream& report) : report_(report) {}

    ~Session() {
        // A patcher left running by a failed script is ended, so that the prefix can end too.
        if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.Get(), 3);
        }
    }

    void Run(const std::vector<std::string>& words) {
        const std::string& verb = words.at(0);
        if (verb == "hold") {
            Hold(Rest(words, 1));
        } else if (verb == "writable") {
            if (!::SetFileAttributesW(Wide(Rest(words, 1)).c_str(), FILE_ATTRIBUTE_NORMAL)) {
                throw StepFailed("cannot make " + Rest(words, 1) + " writable (error " +
                                 std::to_string(::GetLastError()) + ")");
            }
        } else if (verb == "start") {
            Start(Rest(words, 1));
        } else if (verb == "click") {
            Click(ControlNamed(words.at(1)), true);
        } else if (verb == "post-click") {
            Click(ControlNamed(words.at(1)), false);
        } else if (verb == "key") {
            Key(words.at(1));
        } else if (verb == "send-close") {
            DWORD_PTR ignored = 0;
            if (!::SendMessageTimeoutW(Main(), WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &ignored)) {
                throw StepFailed("the window did not answer WM_CLOSE");
            }
        } else if (verb == "expect-text") {
            ExpectText(ControlNamed(words.at(1)), DecodeText(words.at(2), words.size() > 3 ? words[3] : ""));
        } else if (verb == "expect") {
            Expect(ControlNamed(words.at(1)), std::vector<std::string>(words.begin() + 2, words.end()));
        } else if (verb == "wait-dialog") {
            WaitDialog(DecodeText(words.at(1), words.size() > 2 ? words[2] : ""));
        } else if (verb == "answer") {
            Answer();
        } else if (verb == "no-dialog") {
            if (const HWND dialog = FindDialog(processId_); dialog != nullptr) {
                throw StepFailed("a dialog is open: " + Hex(Utf8(InspectDialog(dialog).Text)));
            }
        } else if (verb == "print") {
            const MainControl control = ControlNamed(words.at(1));
            report_ << "text " << MainControlName(control) << '='
                    << Hex(Utf8(TextOf(ControlWindow(Main(), control)).value_or(L""))) << '\n';
        } else if (verb == "dump") {
            Dump(static_cast<LanguageCode>(std::stoi(words.at(1))));
        } else if (verb == "screenshot") {
            Screenshot(Rest(words, 1));
        } else if (verb == "exited") {
            Exited(words.size() > 1 ? static_cast<DWORD>(std::stoul(words[1])) : 0);
        } else {
            throw std::invalid_argument("unknown step " + verb);
        }
    }

  private:
    static std::string Rest(const std::vector<std::string>& words, std::size_t from) {
        std::string rest;
        for (std::size_t i = from; i < words.size(); ++i) {
            rest += (i > from ? " " : "") + words[i];
        }
        return rest;
    }

    // Waits until `done` holds; on the deadline fails with what `seen` tells.
    static void WaitFor(const std::function<bool()>& done, const std::function<std::string()>& seen) {
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                throw StepFailed("timed out; saw " + seen());
            }
            std::this_thread::sleep_for(kPoll);
        }
    }

    HWND Main() {
        if (!::IsWindow(main_)) {
            throw StepFailed("the patcher has no main window");
        }
        return main_;
    }

    void Hold(const std::string& path) {
        held_.emplace_back(
            ::CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!held_.back()) {
            throw StepFailed("cannot hold " + path + " (error " + std::to_string(::GetLastError()) + ")");
        }
    }

    void Start(const std::string& exe) {
        std::wstring commandLine = L"\"" + Wide(exe) + L"\"";
        const std::wstring folder = Wide(exe.substr(0, exe.find_last_of('\\')));
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                              &startup, &started)) {
            throw StepFailed("cannot start " + exe + " (error " + std::to_string(::GetLastError()) + ")");
        }
        process_.Reset(started.hProcess);
        win32::UniqueKernelHandle thread(started.hThread);
        processId_ = started.dwProcessId;
        WaitFor(
            [&] {
                main_ = FindMainWindow(processId_);
                return main_ != nullptr || ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0;
            },
            [] { return std::string("no main window"); });
        if (main_ == nullptr) {
            DWORD code = 0;
            ::GetExitCodeProcess(process_.Get(), &code);
            throw StepFailed("the patcher ended without showing its window (exit code " + std::to_string(code) + ")");
        }
    }

    void Click(MainControl control, bool waitForHandler) {
        const HWND button = ControlWindow(Main(), control);
        if (!waitForHandler) {
            ::PostMessageW(button, BM_CLICK, 0, 0);
            return;
        }
        DWORD_PTR ignored = 0;
        if (!::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &ignored)) {
            throw StepFailed(std::string(MainControlName(control)) + " did not finish handling the click");
        }
    }

    void Key(const std::string& name) {
        const WPARAM key = name == "return" ? VK_RETURN : name == "tab" ? VK_TAB : name == "escape" ? VK_ESCAPE : 0;
        if (key == 0) {
            throw std::invalid_argument("unknown key " + name);
        }
        HWND target = FocusOf(Main());
        if (target == nullptr) {
            throw StepFailed("no control of the patcher has the focus");
        }
        ::PostMessageW(target, WM_KEYDOWN, key, 0x00000001);
        ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }

    void ExpectText(MainControl control, const std::wstring& expected) {
        const HWND window = ControlWindow(Main(), control);
        std::wstring seen;
        WaitFor(
            [&] {
                seen = TextOf(window).value_or(L"<no answer>");
                return seen == expected;
            },
            [&] { return Hex(Utf8(seen)) + " (\"" + Utf8(seen) + "\"), wanted " + Hex(Utf8(expected)); });
    }

    void Expect(MainControl control, const std::vector<std::string>& states) {
        ControlView view;
        const auto holds = [&](const std::string& state) {
            if (state == "visible" || state == "hidden") {
                return view.Visible == (state == "visible");
            }
            if (state == "enabled" || state == "disabled") {
                return view.Enabled == (state == "enabled");
            }
            if (state == "down" || state == "up") {
                return view.Checked == (state == "down");
            }
            if (state == "focused") {
                return view.Focused;
            }
            throw std::invalid_argument("unknown state " + state);
        };
        WaitFor(
            [&] {
                view = Inspect(Main(), control, kPolish);
                for (const std::string& state : states) {
                    if (!holds(state)) {
                        return false;
                    }
                }
                return true;
            },
            [&] { return Describe(view); });
    }

    void WaitDialog(const std::wstring& expected) {
        WaitFor([&] { return (dialog_ = FindDialog(processId_)) != nullptr; }, [] { return std::string("no dialog"); });
        DialogView view;
        // The dialog shows before its last child is filled in: wait for its text and buttons.
        WaitFor(
            [&] {
                view = InspectDialog(dialog_);
                return Unwrapped(view.Text) == Unwrapped(expected) && !view.Buttons.empty();
            },
            [&] { return "a dialog saying " + Hex(Utf8(view.Text)) + " (\"" + Utf8(view.Text) + "\")"; });
        report_ << "dialog caption=" << Hex(Utf8(view.Caption)) << " text=" << Hex(Utf8(view.Text))
                << " buttons=" << view.Buttons.size() << '\n';
    }

    void Answer() {
        if (!::IsWindow(dialog_)) {
            throw StepFailed("no dialog to answer");
        }
        const DialogView view = InspectDialog(dialog_);
        if (view.Buttons.empty()) {
            throw StepFailed("the dialog has no button");
        }
        ::PostMessageW(view.Buttons.front(), BM_CLICK, 0, 0);
        WaitFor([&] { return !::IsWindow(dialog_) || !::IsWindowVisible(dialog_); },
                [] { return std::string("the dialog still open"); });
        dialog_ = nullptr;
    }

    void Dump(LanguageCode language) {
        const HWND window = Main();
        RECT outer{};
        ::GetWindowRect(window, &outer);
        report_ << "screen size=" << ::GetSystemMetrics(SM_CXSCREEN) << ',' << ::GetSystemMetrics(SM_CYSCREEN)
                << " dpi=" << DpiOf(window) << '\n';
        report_ << "outer rect=" << outer.left << ',' << outer.top << ',' << outer.right - outer.left << ','
                << outer.bottom - outer.top << '\n';
        for (int i = 0; i < kMainControlCount; ++i) {
            const auto control = static_cast<MainControl>(i);
            report_ << "control " << MainControlName(control) << ' ' << Describe(Inspect(window, control, language))
                    << '\n';
        }
    }

    // The picture comes from outside: only the display itself has the window as it was drawn, with the
    // frame and caption that the window system adds.
    void Screenshot(const std::string& path) {
        RECT outer{};
        ::GetWindowRect(Main(), &outer);
        {
            std::ofstream wanted(std::filesystem::path(Wide(path + ".wanted")), std::ios::binary | std::ios::trunc);
            wanted << outer.left << ' ' << outer.top << ' ' << outer.right - outer.left << ' '
                   << outer.bottom - outer.top << '\n';
            if (!wanted) {
                throw StepFailed("cannot write " + path + ".wanted");
            }
        }
        const std::filesystem::path taken(Wide(path + ".taken"));
        WaitFor([&] { return std::filesystem::exists(taken); }, [] { return std::string("no picture taken"); });
    }

    void Exited(DWORD expected) {
        WaitFor([&] { return ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; },
                [] { return std::string("the patcher still running"); });
        DWORD code = 0;
        ::GetExitCodeProcess(process_.Get(), &code);
        report_ << "exit code=" << code << '\n';
        if (code != expected) {
            throw StepFailed("the patcher ended with exit code " + std::to_string(code) + ", not " +
                             std::to_string(expected));
        }
    }

    std::ofstream& report_;
    win32::UniqueKernelHandle process_;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
    HWND dialog_ = nullptr;
    std::vector<win32::UniqueFileHandle> held_;
};

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

int RunScript(const char* scriptPath, const char* reportPath) {
    std::ifstream script(scriptPath);
    std::ofstream report(reportPath, std::ios::binary | std::ios::trunc);
    if (!script || !report) {
        std::fprintf(stderr, "patcher_driver: cannot open %s or %s\n", scriptPath, reportPath);
        return 2;
    }
    Session session(report);
    int number = 0;
    for (std::string line; std::getline(script, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::vector<std::string> words = Words(line);
        if (words.empty() || words[0].front() == '#') {
            continue;
        }
        try {
            session.Run(words);
            report << "ok " << number << ' ' << words[0] << '\n';
        } catch (const StepFailed& failure) {
            report << "FAIL " << number << ' ' << line << ": " << failure.what() << '\n';
            return 1;
        } catch (const std::exception& error) {
            report << "FAIL " << number << ' ' << line << ": bad step (" << error.what() << ")\n";
            return 2;
        }
        report.flush();
    }
    report << "done\n";
    return 0;
}

// A window of this process keeps the desktop in use; the window system then does not close it (and wait
// for a second before doing so) each time the last of the other programs on it has ended.
int HoldDesktop() {
    MSG message{};
    ::GetDesktopWindow();
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}

// Holds a product file the way another program can (the product itself, a virus scanner): open without
// sharing anything. A patcher started once PATH.held exists meets the file held, and the hold lasts for a
// known time after the patcher has logged TEXT (the folder it uses, say), whatever its start took.
int HoldUntil(const std::string& path, const std::string& log, const std::string& text, int milliseconds) {
    const win32::UniqueFileHandle held(
        ::CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) {
        std::fprintf(stderr, "cannot hold %s (error %lu)\n", path.c_str(), ::GetLastError());
        return 1;
    }
    std::ofstream(std::filesystem::path(Wide(path + ".held"))) << "held\n";
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (;;) {
        std::ifstream in{std::filesystem::path(Wide(log)), std::ios::binary};
        const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (written.find(text) != std::string::npos) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "%s never held %s\n", log.c_str(), text.c_str());
            return 1;
        }
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return 0;
}

}  // namespace
}  // namespace patcher::driver

int main(int argc, char** argv) {
    // Coordinates in real pixels at every DPI, not scaled for a program that knows nothing of DPI.
    ::SetProcessDPIAware();
    if (argc == 2 && std::string(argv[1]) == "hold-desktop") {
        return patcher::driver::HoldDesktop();
    }
    if (argc == 4 && std::string(argv[1]) == "run") {
        return patcher::driver::RunScript(argv[2], argv[3]);
    }
    if (argc == 6 && std::string(argv[1]) == "hold-until") {
        return patcher::driver::HoldUntil(argv[2], argv[3], argv[4], std::atoi(argv[5]));
    }
    std::fprintf(stderr, "usage: patcher_driver hold-desktop | run SCRIPT REPORT | hold-until PATH LOG TEXT MS\n");
    return 2;
}

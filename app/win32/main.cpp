// The patcher program on Windows: a window that updates the installed product from the packed data it
// carries, or, started with /S, the same update without a window. Start-up runs in a fixed order: the DLL
// search path first (the program is started from a folder full of downloads), then DPI awareness, the
// component system on this thread, the common controls, the command line (and the log it names), and then
// the profile, the main window, the message dialog and the message loop (RunStartup).
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/CommandLineTexts.h"
#include "app/ExitCodes.h"
#include "app/ProductSystem.h"
#include "app/RunLog.h"
#include "app/SilentRun.h"
#include "app/Startup.h"
#include "app/WindowLanguages.h"
#include "app/untMainPatcher.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/Win32MainWindow.h"
#include "app/win32/WindowDpi.h"
#include "engine/UDer.h"
#include "lang/DisplayLanguage.h"
#include "lang/untPytanie.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/ResourceStore.h"
#include "platform/Shell.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/SystemFunction.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32LogFile.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace patcher {
namespace {

// Every DLL that the program or a system DLL on its behalf loads by name comes from System32, never from
// the program's folder or the current one, where a planted DLL of the same name may lie. Systems without
// SetDefaultDllDirectories (before Windows 7 with KB2533623) at least leave the current folder out.
void RestrictDllSearchToSystem32() noexcept {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        win32::SystemFunction<SetDefaultDllDirectoriesFunction>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDefaultDllDirectories == nullptr || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        ::SetDllDirectoryA("");
    }
}

// The command line as the program was given it, and its arguments in the system's ANSI code page, which
// the program's file functions take.
struct ProgramCommandLine {
    std::wstring Whole;
    std::vector<ByteString> Arguments;
};

// A character that the code page lacks would reach another file, or none: such an argument is refused.
ProgramCommandLine ReadCommandLine() {
    ProgramCommandLine commandLine{::GetCommandLineW(), {}};
    for (const std::wstring& argument : SplitCommandLine<wchar_t>(commandLine.Whole)) {
        try {
            commandLine.Arguments.push_back(win32::BytesFromWide(argument, CP_ACP));
        } catch (const PlatformError&) {
            std::string shown;
            for (const wchar_t c : argument) {
                shown += c < 0x80 ? static_cast<char>(c) : '?';
            }
            throw CommandLineError(CommandLineError::Reason::UnreadableText, shown);
        }
    }
    return commandLine;
}

std::string Utf8(const std::wstring& text) noexcept {
    try {
        return win32::BytesFromWide(text, kCodePageUtf8);
    } catch (const PlatformError&) {
        return "?";
    }
}

// "2026-12-08 14:05:31". Put together by hand: the formatted printing of the C runtime would add more to
// the download than the rest of the log does.
std::string LocalTime() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const auto digits = [](unsigned value, int count) {
        std::string text(static_cast<std::size_t>(count), '0');
        for (int i = count - 1; i >= 0; --i, value /= 10) {
            text[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
        }
        return text;
    };
    return digits(now.wYear, 4) + "-" + digits(now.wMonth, 2) + "-" + digits(now.wDay, 2) + " " + digits(now.wHour, 2) +
           ":" + digits(now.wMinute, 2) + ":" + digits(now.wSecond, 2);
}

std::wstring ProgramFileName() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(path.find_last_of(L"\\/") + 1);
}

// The log that /LOG= names, started with its first line.
class ProgramLog {
  public:
    ProgramLog(const ByteString& path, const ProgramCommandLine& commandLine, const ProductProfile& profile)
        : file_(OpenLogFile(path)), log_(*file_) {
        log_.Start(LocalTime(), Utf8(ProgramFileName()), UpdateVersion(profile.UpdateIndex), Utf8(commandLine.Whole));
    }
    RunLog& Log() { return log_; }

  private:
    std::unique_ptr<LogFile> file_;
    RunLog log_;
};

// The language of every text, as the window picks it: the one asked for, else the user's where the product
// speaks it, else Polish.
LanguageCode DisplayLanguageOf(const CommandLineOptions& options, const ProductProfile& profile) {
    return options.Language ? *options.Language : StartingDisplayLanguage(profile, DetectDisplayLanguage());
}

// The message dialog alone, for what the program says before or instead of its window.
void ShowAlone(ByteStringView text, LanguageCode language) {
    TfrmPytanie dialog(CreateWin32MessageDialogView());
    SetDialogLanguage(dialog, language);
    ShowMessageDialog(dialog, NativeWindow{}, text, kDialogOk);
}

// A command line that was not understood: nothing is done. The reason goes to the log where the command
// line names one that opens, and to the screen unless the command line asked for silence.
int RefuseCommandLine(const CommandLineError& error, const ProductProfile& profile) {
    const ByteString reason = CommandLineErrorText(error);
    const CommandLineOptions& understood = error.Understood();
    if (understood.LogFile && error.Why() != CommandLineError::Reason::LogNotWritable) {
        try {
            ProgramLog log(*understood.LogFile, {::GetCommandLineW(), {}}, profile);
            log.Log().Dialog(reason, kPolish);
            log.Log().End(kExitBadCommandLine);
        } catch (const PlatformError&) {
            // No log to tell it in either.
        }
    }
    if (!understood.Silent) {
        ShowAlone(reason, kPolish);
    }
    return kExitBadCommandLine;
}

// The start-up steps on Windows: the form with its Win32 view, the message dialog, the message loop.
class Win32Startup final : public StartupSteps {
  public:
    Win32Startup(UpdateRunSystem& system, LanguageCode language, RunLog* log)
        : system_(system), language_(language), log_(log) {}

    void CreateMainWindow() override {
        form_ = std::make_unique<TfrmMainPatcher>(Profile(), system_, [this] { return language_; });
        view_ = CreateWin32MainWindow(*form_);
        form_->AttachView(*view_);
        if (log_ != nullptr) {
            form_->AttachLog(*log_);
        }
    }

    void CreateMessageDialog() override {
        dialog_ = std::make_unique<TfrmPytanie>(CreateWin32MessageDialogView());
        form_->AttachDialog(*dialog_);
    }

    int RunMessageLoop() override {
        form_->Show();
        RunWin32MessageLoop(view_->Handle());
        return ExitCodeOf(form_->State());
    }

  private:
    UpdateRunSystem& system_;
    LanguageCode language_;
    RunLog* log_;
    // Destroyed in reverse: the dialog, then the window, then the form that both serve.
    std::unique_ptr<TfrmMainPatcher> form_;
    std::unique_ptr<MainWindowView> view_;
    std::unique_ptr<TfrmPytanie> dialog_;
};

int RunProgram() {
    // The component system as a single-threaded apartment on the window thread, before any window: the
    // help shortcuts are shell links made on this thread.
    const win32::ComApartment apartment;
    INITCOMMONCONTROLSEX commonControls{};
    commonControls.dwSize = sizeof(commonControls);
    commonControls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&commonControls);

    // The command line is understood, and its log opened, before anything else is done: by this build's
    // profile, which start-up then gives the program in its own order.
    ProductProfile build;
    SetProductIdentity(build);
    CompleteProfile(build);
    ProgramCommandLine commandLine;
    CommandLineOptions options;
    std::optional<ProgramLog> programLog;
    try {
        commandLine = ReadCommandLine();
        options = ParseCommandLine(commandLine.Arguments, build);
        if (options.LogFile) {
            try {
                programLog.emplace(*options.LogFile, commandLine, build);
            } catch (const PlatformError&) {
                throw CommandLineError(CommandLineError::Reason::LogNotWritable, "/LOG=" + *options.LogFile, options);
            }
        }
    } catch (const CommandLineError& error) {
        return RefuseCommandLine(error, build);
    }
    RunLog* const log = programLog ? &programLog->Log() : nullptr;

    const LanguageCode language = DisplayLanguageOf(options, build);
    int exitCode = kExitAllCurrent;
    if (options.Help) {
        ShowAlone(CommandLineHelp(build, Utf8(ProgramFileName())), language);
    } else {
        ProductProfile& profile = Profile();
        // The program's one decoder, for its whole life (its tables are too large for the stack).
        const auto decoder = std::make_unique<DecoderState>();
        ProductSystem system(profile,
                             {SystemFileSystem(), SystemRegistry(), SystemShell(), ProgramResources(), *decoder},
                             options.InstallDir);
        if (options.Silent) {
            SetProductIdentity(profile);
            CompleteProfile(profile);
            exitCode = RunSilently(profile, system, language, log);
        } else {
            Win32Startup steps(system, language, log);
            exitCode = RunStartup(profile, steps);
        }
    }
    if (log != nullptr) {
        log->End(exitCode);
    }
    return exitCode;
}

}  // namespace
}  // namespace patcher

// What the C++ runtime calls when an exception reaches a noexcept boundary or nothing catches it. Its own
// handler prints the exception's demangled type to the standard error stream, which a GUI program does not
// have, and then aborts; the demangler and the formatted printing it needs would be about 70 KB of the
// program. This one aborts at once, which is all the user could see of the other.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    patcher::RestrictDllSearchToSystem32();
    patcher::BecomeDpiAware();
    try {
        return patcher::RunProgram();
    } catch (...) {
        // Only a window that cannot be made at all ends here; there is nothing to show anything in.
        return 1;
    }
}

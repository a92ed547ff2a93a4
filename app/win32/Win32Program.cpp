#include "app/win32/Win32Program.h"

#include <windows.h>

#include <utility>

#include "app/CommandLineTexts.h"
#include "app/ExitCodes.h"
#include "app/ProductCheck.h"
#include "app/SilentRun.h"
#include "app/SleepingWait.h"
#include "app/WindowLanguages.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/ProgramFailure.h"
#include "app/win32/Win32MainWindow.h"
#include "lang/DisplayLanguage.h"
#include "platform/FileSystem.h"
#include "platform/LocalClock.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/ResourceStore.h"
#include "platform/Shell.h"
#include "platform/TextCodePages.h"
#include "platform/win32/CallerConsole.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32LogFile.h"

namespace patcher {

Win32Program::Win32Program(ProductProfile& profile, ProgramCommandLine commandLine, bool unattended)
    : profile_(profile), commandLine_(std::move(commandLine)), unattended_(unattended) {}

Win32Program::~Win32Program() {
    SetFailureLog(nullptr);
}

std::optional<int> Win32Program::ReadCommandLine(const ProductProfile& profile) {
    try {
        options_ = ParseCommandLine(commandLine_.Arguments, profile);
    } catch (const CommandLineError& error) {
        return Refuse(error);
    }
    if (options_.LogFile) {
        try {
            OpenLog(*options_.LogFile);
        } catch (const PlatformError&) {
            return Refuse(CommandLineError(CommandLineError::Reason::LogNotWritable, "/LOG=" + *options_.LogFile));
        }
    }
    if (options_.Help) {
        ShowHelp();
        return kExitAllCurrent;
    }
    decoder_ = std::make_unique<DecoderState>();
    ProductSystem::Settings settings{options_.InstallDir, kDefaultInUseWait};
    if (options_.WaitSeconds) {
        settings.LongestWait = std::chrono::seconds(*options_.WaitSeconds);
    }
    system_.emplace(
        profile_,
        ProductSystem::Services{SystemFileSystem(), SystemRegistry(), SystemShell(), ProgramResources(), *decoder_},
        std::move(settings));
    return std::nullopt;
}

void Win32Program::CreateMainWindow() {
    if (unattended_) {
        return;
    }
    form_ = std::make_unique<TfrmMainPatcher>(profile_, *system_, [] { return DetectDisplayLanguage(); });
    if (options_.Language) {
        form_->RequestLanguage(*options_.Language);
    }
    view_ = CreateWin32MainWindow(*form_);
    form_->AttachView(*view_);
    form_->AttachReport(Report());
}

void Win32Program::CreateMessageDialog() {
    if (unattended_) {
        return;
    }
    dialog_ = std::make_unique<TfrmPytanie>(CreateWin32MessageDialogView());
    form_->AttachDialog(*dialog_);
}

int Win32Program::RunMessageLoop() {
    if (options_.Check) {
        SleepingWait wait;
        return CheckProduct(profile_, *system_, wait, Report());
    }
    if (unattended_) {
        return RunSilently(profile_, *system_, Language(), Report());
    }
    form_->Show();
    RunWin32MessageLoop(view_->Handle());
    return ExitCodeOf(form_->State());
}

void Win32Program::End(int exitCode) {
    if (log_) {
        SetFailureLog(nullptr);
        log_->End(exitCode);
        log_.reset();
    }
}

// Nothing is done. The reason goes to the log where the command line names one that opens, and to the
// screen unless nobody is there to read it.
int Win32Program::Refuse(const CommandLineError& error) {
    const CommandLineOptions& understood = error.Understood();
    if (!log_ && understood.LogFile && error.Why() != CommandLineError::Reason::LogNotWritable) {
        try {
            OpenLog(*understood.LogFile);
        } catch (const PlatformError&) {
            // No log to tell it in either.
        }
    }
    if (log_) {
        log_->Note(CommandLineErrorPattern(error.Why()), ShownArgument(error));
    }
    if (!unattended_) {
        ShowAlone(CommandLineErrorText(error));
    }
    return kExitBadCommandLine;
}

void Win32Program::OpenLog(const ByteString& path) {
    logFile_ = OpenLogFile(path);
    log_.emplace(*logFile_, SystemClock(), LogSettings{AnsiCodePage(), !unattended_});
    log_->Start(win32::Utf8FromWide(ProgramFileName()), BuildUpdateVersion(), ::GetCurrentProcessId(),
                commandLine_.WholeUtf8);
    SetFailureLog(&*log_);
}

void Win32Program::ShowHelp() {
    ByteString programName;
    try {
        programName = win32::BytesFromWide(ProgramFileName(), 1250);
    } catch (const PlatformError&) {
        programName = "patcher.exe";
    }
    const ByteString help = CommandLineHelp(profile_, programName);
    if (log_) {
        log_->Note(help);
    }
    if (unattended_) {
        win32::WriteToCaller(win32::WideFromBytes(help, 1250));
    } else {
        ShowAlone(help);
    }
}

// The program's own texts are Polish and English in Windows-1250: the Polish dialog shows them as they are.
void Win32Program::ShowAlone(ByteStringView text) const {
    TfrmPytanie dialog(CreateWin32MessageDialogView());
    SetDialogLanguage(dialog, kPolish);
    ShowMessageDialog(dialog, NativeWindow{}, text, kDialogOk);
}

// The language of every text, as the window picks it: the one asked for, else the user's where the product
// speaks it, else Polish.
LanguageCode Win32Program::Language() const {
    return options_.Language ? *options_.Language : StartingDisplayLanguage(profile_, DetectDisplayLanguage());
}

}  // namespace patcher

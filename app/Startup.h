#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/RunLog.h"
#include "app/UpdateRunSystem.h"
#include "app/untMainPatcher.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "lang/untPytanie.h"
#include "platform/LocalClock.h"
#include "platform/LogFile.h"
#include "profile/ProductProfile.h"

namespace patcher {

// How the program was started.
struct ProgramInvocation {
    std::vector<CommandLineArgument> Arguments;  // the program's own name first, then its arguments
    std::string CommandLineUtf8;                 // the whole command line, as the log names it
    std::string ProgramNameUtf8;                 // the program file's name ("VokarEn-1.5.3-patch.exe")
    ByteString ProgramName;                      // the same in Windows-1250, for the help text
    unsigned long ProcessId = 0;
};

// The program's three ways of running.
enum class ProgramMode {
    Window,  // the main window, as without options
    Silent,  // /S: the update at once, with no window and no dialog
    Check,   // /CHECK: no window and nothing written; the exit code tells whether the update is needed
};
ProgramMode ModeOf(const CommandLineOptions& options) noexcept;

// What start-up needs of the system it runs on; app/win32/Startup_win.cpp is the Windows side.
class StartupPlatform {
  public:
    virtual ~StartupPlatform() = default;

    // Reads the tables that the program carries (its resource kPatchTablesResource) and installs them for the
    // process, once. Throws PatchTablesError where they cannot be trusted, PlatformError where there are none.
    virtual void InstallPatchTables() = 0;

    // The file that /LOG= names, opened for appending. Throws PlatformError when it cannot be.
    virtual std::unique_ptr<LogFile> OpenLogFile(ByteStringView path) = 0;
    virtual LocalClock& Clock() = 0;
    // The code page of paths and arguments (the system's ANSI code page).
    virtual unsigned PathCodePage() = 0;
    // The log that a failure of the patcher itself is told to, while there is one (nullptr: none).
    virtual void LogFailuresTo(RunLog* log) = 0;
    // Ends the program as a failure of the patcher: says `what` in that log and to the person at the window,
    // if one is there; answers the exit code.
    virtual int PatcherFailed(std::string_view what) = 0;

    // A text of the program's own (Polish and English) in the message dialog, with no main window.
    virtual void ShowMessage(ByteStringView text) = 0;
    // A text for whoever started the program without a window: their console, or where its output goes.
    virtual void TellCaller(ByteStringView text) = 0;
    // The language that the user's locale suggests (DetectDisplayLanguage).
    virtual LanguageCode DetectLanguage() = 0;

    // The installed product and the patch engine; `longestWait` is how long a file that another program
    // holds is waited for.
    virtual UpdateRunSystem& InstalledProduct(const ProductProfile& profile, std::chrono::milliseconds longestWait) = 0;
    // The window system's side of the main window and of the message dialog, both created hidden.
    virtual std::unique_ptr<MainWindowView> CreateMainWindowView(TfrmMainPatcher& form) = 0;
    virtual std::unique_ptr<MessageDialogView> CreateMessageDialogView() = 0;
    // Handles the window messages until the main window is gone.
    virtual void RunMessageLoop(MainWindowView& window) = 0;
};

// Runs the program from start to end and answers its exit code, each step deciding what the next is: the
// tables the program carries, the product's identity they give, the command line read by it, the log it names
// opened, a refusal or the help, and then the mode asked for. A program without its tables, or with tables
// that cannot be trusted, touches nothing: it says so (a fixed Polish and English message with the window, one
// line of the log without it) and ends with 6. The one place that sets the profile, in the order its readers need: the
// command line is read by the product's identity; the main window reads the profile only when it is shown, inside the
// message loop, once the profile is complete. Whatever escapes a step ends the program as a failure of the patcher.
int RunProgram(ProductProfile& profile, const ProgramInvocation& invocation, StartupPlatform& platform);

}  // namespace patcher

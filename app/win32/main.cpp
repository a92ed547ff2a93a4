// The patcher program on Windows: a window that updates the installed product from the packed data it
// carries; started with /S, the same update without a window; with /CHECK, only whether it is needed.
//
// Start-up runs in a fixed order: the DLL search path first (the program is started from a folder full of
// downloads); then the command line is read, and whether it asks for no window is known before anything is
// understood or shown; then failure handling (under /S and /CHECK, nothing may wait for a click), DPI
// awareness, the component system on this thread and the common controls; and then RunStartup, which owns
// the rest: the profile, the command line's options and its log, the windows, and the message loop.
#include <windows.h>

#include <commctrl.h>

#include <utility>

#include "app/CommandLine.h"
#include "app/Startup.h"
#include "app/win32/ProgramCommandLine.h"
#include "app/win32/ProgramFailure.h"
#include "app/win32/Win32Program.h"
#include "app/win32/WindowDpi.h"
#include "engine/PatchTablesFormat.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/DllSearch.h"

namespace patcher {
namespace {

int RunProgram(ProgramCommandLine commandLine, bool unattended) {
    // The component system as a single-threaded apartment on the window thread, before any window: the
    // help shortcuts are shell links made on this thread.
    const win32::ComApartment apartment;
    INITCOMMONCONTROLSEX commonControls{};
    commonControls.dwSize = sizeof(commonControls);
    commonControls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&commonControls);

    InstallPatchTables(LoadPatchTables(ProgramResources()));
    Win32Program program(Profile(), std::move(commandLine), unattended);
    // Caught here, while the program and its log are still there to say what happened.
    return FailingAsThePatcher([&] {
        const int exitCode = RunStartup(Profile(), program);
        program.End(exitCode);
        return exitCode;
    });
}

}  // namespace
}  // namespace patcher

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace patcher;
    win32::RestrictDllSearchToSystem32();
    ProgramCommandLine commandLine = ReadProgramCommandLine();
    const bool unattended = AsksForNoWindow(commandLine.Arguments);
    InstallFailureHandling(unattended);
    BecomeDpiAware();
    // What fails before the program is there (no memory for it, say) ends it all the same.
    return FailingAsThePatcher([&] { return RunProgram(std::move(commandLine), unattended); });
}

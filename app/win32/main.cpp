// The patcher program on Windows: a window that updates the installed product from the packed data it
// carries; started with /S, the same update without a window; with /CHECK, only whether it is needed.
//
// Start-up runs in a fixed order: failure handling first, as if unattended (under /S and /CHECK, nothing may
// wait for a click, and nothing is known yet); the DLL search path (the program is started from a folder full
// of downloads); then the command line is read, and whether it asks for no window is known before anything is
// understood or shown; then DPI awareness, the component system on this thread and the common controls; and
// then RunProgram, which owns the rest: the profile, the command line's options and its log, the windows, and
// the message loop.
#include <windows.h>

#include <commctrl.h>

#include "app/CommandLine.h"
#include "app/Startup.h"
#include "app/win32/ProgramFailure.h"
#include "app/win32/ProgramInvocation.h"
#include "app/win32/Startup_win.h"
#include "app/win32/WindowDpi.h"
#include "common/PathText.h"
#include "tables/PatchTablesFormat.h"
#include "platform/TextCodePages.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/DllSearch.h"

namespace patcher {
namespace {

int RunOnThisThread(const ProgramInvocation& invocation) {
    // The component system as a single-threaded apartment on the window thread, before any window: the
    // help shortcuts are shell links made on this thread.
    const win32::ComApartment apartment;
    INITCOMMONCONTROLSEX commonControls{};
    commonControls.dwSize = sizeof(commonControls);
    commonControls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&commonControls);

    Win32StartupPlatform platform;
    return RunProgram(Profile(), invocation, platform);
}

}  // namespace
}  // namespace patcher

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace patcher;
    // Before anything else, and unattended until the command line says a person is there: nothing that fails
    // from here on may wait for a click under /S.
    InstallFailureHandling();
    return FailingAsThePatcher([] {
        win32::RestrictDllSearchToSystem32();
        SetPathLeadBytes(AnsiLeadBytes());
        const ProgramInvocation invocation = ReadProgramInvocation();
        if (!AsksForNoWindow(invocation.Arguments)) {
            FailuresShownToAPerson();
        }
        BecomeDpiAware();
        return RunOnThisThread(invocation);
    });
}

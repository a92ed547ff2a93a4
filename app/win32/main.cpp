// The patcher program on Windows: a window that updates the installed product from the packed data it
// carries; started with /S, the same update without a window; with /CHECK, only whether it is needed.
//
// Start-up runs in a fixed order: the DLL search path first (the program is started from a folder full of
// downloads); then the command line is read, and whether it asks for no window is known before anything is
// understood or shown; then failure handling (under /S and /CHECK, nothing may wait for a click), DPI
// awareness, the component system on this thread and the common controls; and then RunProgram, which owns
// the rest: the profile, the command line's options and its log, the windows, and the message loop.
#include <windows.h>

#include <commctrl.h>

#include "app/CommandLine.h"
#include "app/Startup.h"
#include "app/win32/ProgramFailure.h"
#include "app/win32/ProgramInvocation.h"
#include "app/win32/Startup_win.h"
#include "app/win32/WindowDpi.h"
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
    win32::RestrictDllSearchToSystem32();
    const ProgramInvocation invocation = ReadProgramInvocation();
    InstallFailureHandling(AsksForNoWindow(invocation.Arguments));
    BecomeDpiAware();
    // What fails before the program's own handling is there (no memory for it, say) ends it all the same.
    return FailingAsThePatcher([&] { return RunOnThisThread(invocation); });
}

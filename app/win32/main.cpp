// The patcher program on Windows: a window that updates the installed product from the packed data it
// carries. Start-up runs in a fixed order: the DLL search path first (the program is started from a folder
// full of downloads), then DPI awareness, the component system on this thread, the common controls, and
// then the profile, the main window, the message dialog and the message loop (RunStartup).
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>

#include "app/ProductSystem.h"
#include "app/Startup.h"
#include "app/untMainPatcher.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/Win32MainWindow.h"
#include "app/win32/WindowDpi.h"
#include "engine/UDer.h"
#include "lang/DisplayLanguage.h"
#include "lang/untPytanie.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ResourceStore.h"
#include "platform/Shell.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/SystemFunction.h"

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

// The start-up steps on Windows: the form with its Win32 view, the message dialog, the message loop.
class Win32Startup final : public StartupSteps {
  public:
    explicit Win32Startup(UpdateRunSystem& system) : system_(system) {}

    void CreateMainWindow() override {
        form_ = std::make_unique<TfrmMainPatcher>(Profile(), system_, DetectDisplayLanguage);
        view_ = CreateWin32MainWindow(*form_);
        form_->AttachView(*view_);
    }

    void CreateMessageDialog() override {
        dialog_ = std::make_unique<TfrmPytanie>(CreateWin32MessageDialogView());
        form_->AttachDialog(*dialog_);
    }

    int RunMessageLoop() override {
        form_->Show();
        return RunWin32MessageLoop(view_->Handle());
    }

  private:
    UpdateRunSystem& system_;
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

    // The program's one decoder, for its whole life (its tables are too large for the stack).
    const auto decoder = std::make_unique<DecoderState>();
    ProductSystem system(Profile(),
                         {SystemFileSystem(), SystemRegistry(), SystemShell(), ProgramResources(), *decoder});
    Win32Startup steps(system);
    return RunStartup(Profile(), steps);
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

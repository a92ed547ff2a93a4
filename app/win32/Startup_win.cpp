#include "app/win32/Startup_win.h"

#include <windows.h>

#include "app/win32/MessageLoop.h"
#include "app/win32/ProgramFailure.h"
#include "app/win32/Win32MainWindow.h"
#include "lang/DisplayLanguage.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ResourceStore.h"
#include "platform/Shell.h"
#include "platform/TextCodePages.h"
#include "platform/win32/CallerConsole.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32LogFile.h"
#include "tables/PatchTablesFormat.h"

namespace patcher {

void Win32StartupPlatform::InstallPatchTables() {
    patcher::InstallPatchTables(LoadPatchTables(ProgramResources()));
}

std::unique_ptr<LogFile> Win32StartupPlatform::OpenLogFile(ByteStringView path) {
    return patcher::OpenLogFile(path);
}

LocalClock& Win32StartupPlatform::Clock() {
    return SystemClock();
}

unsigned Win32StartupPlatform::PathCodePage() {
    return AnsiCodePage();
}

void Win32StartupPlatform::LogFailuresTo(RunLog* log) {
    SetFailureLog(log);
}

int Win32StartupPlatform::PatcherFailed(std::string_view what) {
    return patcher::PatcherFailed(what);
}

// The program's own texts are Polish and English in Windows-1250: the Polish dialog shows them as they are.
void Win32StartupPlatform::ShowMessage(ByteStringView text) {
    TfrmPytanie dialog(CreateWin32MessageDialogView());
    SetDialogLanguage(dialog, kPolish);
    ShowMessageDialog(dialog, NativeWindow{}, text, kDialogOk);
}

void Win32StartupPlatform::TellCaller(ByteStringView text) {
    win32::WriteToCaller(win32::WideFromBytes(text, 1250));
}

LanguageCode Win32StartupPlatform::DetectLanguage() {
    return DetectDisplayLanguage();
}

UpdateRunSystem& Win32StartupPlatform::InstalledProduct(const ProductProfile& profile,
                                                        std::chrono::milliseconds longestWait) {
    if (!system_) {
        decoder_ = std::make_unique<DecoderState>();
        system_.emplace(
            profile,
            ProductSystem::Services{SystemFileSystem(), SystemRegistry(), SystemShell(), ProgramResources(), *decoder_},
            longestWait);
    }
    return *system_;
}

std::unique_ptr<MainWindowView> Win32StartupPlatform::CreateMainWindowView(TfrmMainPatcher& form) {
    return CreateWin32MainWindow(form);
}

std::unique_ptr<MessageDialogView> Win32StartupPlatform::CreateMessageDialogView() {
    return CreateWin32MessageDialogView();
}

void Win32StartupPlatform::RunMessageLoop(MainWindowView& window) {
    RunWin32MessageLoop(window.Handle());
}

}  // namespace patcher

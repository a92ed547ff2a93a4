#include "app/win32/ProgramFailure.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <utility>

#include "app/ExitCodes.h"

namespace patcher {
namespace {

RunLog* failureLog = nullptr;
bool failureUnattended = false;

// A crash: no exception of ours, the system's own.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    const unsigned long code =
        exception != nullptr && exception->ExceptionRecord != nullptr ? exception->ExceptionRecord->ExceptionCode : 0;
    ::TerminateProcess(
        ::GetCurrentProcess(),
        static_cast<UINT>(PatcherFailed("the system stopped it with exception 0x" + HexDigits(code, 8))));
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallFailureHandling(bool unattended) noexcept {
    failureUnattended = unattended;
    if (unattended) {
        // No "insert a disk", "cannot open file" or crash box waits for a click nobody can give.
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    }
    ::SetUnhandledExceptionFilter(OnUnhandledException);
}

void SetFailureLog(RunLog* log) noexcept {
    failureLog = log;
}

int PatcherFailed(std::string_view what) noexcept {
    if (RunLog* const log = std::exchange(failureLog, nullptr)) {
        log->Failed(what);
        log->End(kExitPatcherFailed);
    }
    if (!failureUnattended) {
        ::MessageBoxW(nullptr,
                      L"Program uaktualniaj\u0105cy napotka\u0142 nieoczekiwany b\u0142\u0105d i ko\u0144czy "
                      L"prac\u0119.\r\nThe patcher met an unexpected error and stops.",
                      L"Vokarion", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    }
    return kExitPatcherFailed;
}

}  // namespace patcher

// What the C++ runtime calls when an exception reaches a noexcept boundary or nothing catches it. Its own
// handler prints the exception's demangled type to the standard error stream, which a GUI program does not
// have, and then aborts (exit code 3, as a wrong command line); the demangler and the formatted printing it
// needs would be about 70 KB of the program. This one ends it as any failure of the patcher.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::string what = "an exception that nothing caught";
    try {
        if (const std::exception_ptr current = std::current_exception()) {
            std::rethrow_exception(current);
        }
    } catch (const std::exception& error) {
        what += ": ";
        what += error.what();
    } catch (...) {
    }
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(patcher::PatcherFailed(what)));
    std::abort();  // not reached
}
}  // namespace __gnu_cxx

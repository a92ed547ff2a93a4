#include "app/win32/ProgramFailure.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <utility>

#include "app/ExitCodes.h"
#include "app/LogText.h"

namespace patcher {
namespace {

RunLog* failureLog = nullptr;
bool failureUnattended = true;
UINT errorModeBefore = 0;

// A crash: no exception of ours, the system's own. Its number is written on the stack.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    const unsigned long code =
        exception != nullptr && exception->ExceptionRecord != nullptr ? exception->ExceptionRecord->ExceptionCode : 0;
    LogLineBuffer number;
    number.append("0x");
    AppendDigits(number, code, 8, 16);
    ::TerminateProcess(::GetCurrentProcess(),
                       static_cast<UINT>(PatcherFailed("the system stopped it with exception ", number.View())));
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallFailureHandling() noexcept {
    failureUnattended = true;
    // No "insert a disk", "cannot open file" or crash box waits for a click nobody can give.
    errorModeBefore = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(OnUnhandledException);
}

void FailuresShownToAPerson() noexcept {
    failureUnattended = false;
    ::SetErrorMode(errorModeBefore);
}

void SetFailureLog(RunLog* log) noexcept {
    failureLog = log;
}

int PatcherFailed(std::string_view what, std::string_view detail) noexcept {
    if (RunLog* const log = std::exchange(failureLog, nullptr)) {
        log->LastWords(what, detail, kExitPatcherFailed);
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
// have, and then aborts (exit code 3, as a wrong command line, and the runtime's box); the demangler and the
// formatted printing it needs would be about 70 KB of the program. This one ends it as any failure of the
// patcher, allocating nothing: a failure to allocate may be what brought it here.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::string_view what;
    try {
        if (const std::exception_ptr current = std::current_exception()) {
            std::rethrow_exception(current);
        }
    } catch (const std::exception& error) {
        what = error.what();
    } catch (...) {
    }
    ::TerminateProcess(
        ::GetCurrentProcess(),
        static_cast<UINT>(patcher::PatcherFailed(
            what.empty() ? "an exception that nothing caught" : "an exception that nothing caught: ", what)));
    ::ExitProcess(static_cast<UINT>(patcher::kExitPatcherFailed));  // not reached
}
}  // namespace __gnu_cxx

#pragma once

// Another program at work beside the one tested, as a second process of the system.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Win32TestHandles.h"

namespace patcher::testing {

// Runs the command line in another process and answers its exit code; fails the test where it cannot be
// started or does not end within a minute.
inline DWORD RunInAnotherProcess(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &started)) {
        ADD_FAILURE() << "cannot start another process (error " << ::GetLastError() << ")";
        return ~DWORD{0};
    }
    const win32::UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    if (::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 1);
        ADD_FAILURE() << "the other process did not end";
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return code;
}

// Has the command processor copy one file over another, byte for byte, as another program writing it would.
inline DWORD CopyInAnotherProcess(const std::wstring& from, const std::wstring& to) {
    return RunInAnotherProcess(L"cmd.exe /c copy /y /b \"" + from + L"\" \"" + to + L"\" >nul");
}

}  // namespace patcher::testing

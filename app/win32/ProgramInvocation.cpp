#include "app/win32/ProgramInvocation.h"

#include <windows.h>

#include "platform/PlatformError.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

// The program file's own name ("VokarEn-1.5.3-patch.exe"), from its whole path however long: a buffer that
// the path fills exactly may have cut it, so it grows until the path fits.
std::wstring ProgramFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size() || path.size() >= 32768) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(path.find_last_of(L"\\/") + 1);
}

}  // namespace

ProgramInvocation ReadProgramInvocation() {
    const std::wstring whole = ::GetCommandLineW();
    ProgramInvocation invocation;
    invocation.CommandLineUtf8 = win32::Utf8FromWide(whole);
    for (const std::wstring& argument : SplitCommandLine<wchar_t>(whole)) {
        try {
            invocation.Arguments.push_back({win32::BytesFromWide(argument, CP_ACP), true});
        } catch (const PlatformError&) {
            // A character that the code page lacks would reach another file, or none.
            ByteString shown;
            for (const wchar_t c : argument) {
                shown += c < 0x80 ? static_cast<char>(c) : '?';
            }
            invocation.Arguments.push_back({shown, false});
        }
    }
    const std::wstring programName = ProgramFileName();
    invocation.ProgramNameUtf8 = win32::Utf8FromWide(programName);
    try {
        invocation.ProgramName = win32::BytesFromWide(programName, 1250);
    } catch (const PlatformError&) {
        invocation.ProgramName = "patcher.exe";
    }
    invocation.ProcessId = ::GetCurrentProcessId();
    return invocation;
}

}  // namespace patcher

#include "app/win32/ProgramCommandLine.h"

#include <windows.h>

#include "platform/PlatformError.h"
#include "platform/win32/WideText.h"

namespace patcher {

ProgramCommandLine ReadProgramCommandLine() {
    const std::wstring whole = ::GetCommandLineW();
    ProgramCommandLine commandLine{win32::Utf8FromWide(whole), {}};
    for (const std::wstring& argument : SplitCommandLine<wchar_t>(whole)) {
        try {
            commandLine.Arguments.push_back({win32::BytesFromWide(argument, CP_ACP), true});
        } catch (const PlatformError&) {
            // A character that the code page lacks would reach another file, or none.
            ByteString shown;
            for (const wchar_t c : argument) {
                shown += c < 0x80 ? static_cast<char>(c) : '?';
            }
            commandLine.Arguments.push_back({shown, false});
        }
    }
    return commandLine;
}

std::wstring ProgramFileName() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(path.find_last_of(L"\\/") + 1);
}

}  // namespace patcher

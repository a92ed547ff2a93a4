#include "platform/win32/CallerConsole.h"

#include <windows.h>

#include <string>

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

namespace patcher::win32 {
namespace {

bool WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

void WriteToCaller(std::wstring_view text) noexcept {
    try {
        std::wstring line(text);
        line += L"\r\n";
        // A program of the windows subsystem gets standard handles only where its caller redirected them: to
        // a file, a pipe or a device such as NUL, which take UTF-8; a console takes UTF-16.
        const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (output != nullptr && output != INVALID_HANDLE_VALUE) {
            DWORD mode = 0;
            if (::GetFileType(output) == FILE_TYPE_CHAR && ::GetConsoleMode(output, &mode)) {
                DWORD written = 0;
                ::WriteConsoleW(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            } else {
                WriteAll(output, Utf8FromWide(line));
            }
            return;
        }
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) {
            return;
        }
        const UniqueFileHandle console(::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (console) {
            DWORD written = 0;
            ::WriteConsoleW(console.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
        ::FreeConsole();
    } catch (...) {
        // No memory for the text: the log has it, if there is one.
    }
}

}  // namespace patcher::win32

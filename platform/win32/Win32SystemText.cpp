// The system's words for its error numbers, its code pages and its clock, on Windows.
#include <windows.h>

#include "platform/LocalClock.h"
#include "platform/SystemErrors.h"
#include "platform/TextCodePages.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

class Win32Clock final : public LocalClock {
  public:
    LocalTime Now() override {
        SYSTEMTIME now{};
        ::GetLocalTime(&now);
        return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    }
};

}  // namespace

SystemFault ClassifySystemError(unsigned long code) noexcept {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return SystemFault::NotFound;
        case ERROR_ACCESS_DENIED:
            return SystemFault::AccessDenied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
            return SystemFault::InUse;
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL:
            return SystemFault::DiskFull;
        default:
            return SystemFault::Other;
    }
}

std::string SystemErrorText(unsigned long code) {
    wchar_t text[512] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                         nullptr, code, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
    std::wstring_view words(text, length);
    // The system ends its messages with a space or a line break.
    while (!words.empty() && (words.back() == L' ' || words.back() == L'\r' || words.back() == L'\n')) {
        words.remove_suffix(1);
    }
    return win32::Utf8FromWide(words);
}

unsigned AnsiCodePage() noexcept {
    return ::GetACP();
}

std::string Utf8FromCodePage(ByteStringView text, unsigned codePage) {
    try {
        return win32::Utf8FromWide(win32::WideFromBytes(text, codePage));
    } catch (const std::exception&) {
        // A code page the system does not know: what ASCII there is still reads.
        std::string shown;
        for (const char c : text) {
            shown += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        }
        return shown;
    }
}

LocalClock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace patcher

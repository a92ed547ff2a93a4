// The system's words for its error numbers, its code pages and its clock, on Windows.
#include <windows.h>

#include "platform/LocalClock.h"
#include "platform/PlatformError.h"
#include "platform/SystemErrors.h"
#include "platform/TextCodePages.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

class Win32Clock final : public LocalClock {
  public:
    LocalTime Now() override {
        // The local time as the time zone's rules make it of this very moment in UTC, so that the offset is
        // the one in force (summer or winter) when the line is written.
        SYSTEMTIME utc{};
        ::GetSystemTime(&utc);
        SYSTEMTIME local = utc;
        if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            local = utc;
        }
        return {local.wYear,   local.wMonth,  local.wDay,          local.wHour,
                local.wMinute, local.wSecond, local.wMilliseconds, MinutesBetween(utc, local)};
    }

  private:
    static long long Minutes(const SYSTEMTIME& time) {
        FILETIME file{};
        if (!::SystemTimeToFileTime(&time, &file)) {
            return 0;
        }
        const unsigned long long ticks =
            (static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
        return static_cast<long long>(ticks / 600000000ULL);  // 100 ns ticks to minutes
    }
    static int MinutesBetween(const SYSTEMTIME& utc, const SYSTEMTIME& local) {
        return static_cast<int>(Minutes(local) - Minutes(utc));
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

std::array<bool, 256> AnsiLeadBytes() noexcept {
    std::array<bool, 256> leads{};
    CPINFO info{};
    if (::GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2) {
        for (int range = 0; range + 1 < MAX_LEADBYTES && info.LeadByte[range] != 0; range += 2) {
            for (int byte = info.LeadByte[range]; byte <= info.LeadByte[range + 1]; ++byte) {
                leads[static_cast<std::size_t>(byte)] = true;
            }
        }
    }
    return leads;
}

std::optional<ByteString> Reencoded(ByteStringView text, unsigned from, unsigned to) {
    try {
        return win32::BytesFromWide(win32::WideFromBytes(text, from), to);
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

std::size_t Utf16Length(ByteStringView text, unsigned codePage) {
    try {
        return win32::WideFromBytes(text, codePage).size();
    } catch (const PlatformError&) {
        return text.size();
    }
}

LocalClock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace patcher

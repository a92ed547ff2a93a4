#include "tools/patchkit/win32/WindowsPaths.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>

#include "platform/SystemErrors.h"
#include "platform/win32/SystemFunction.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/patchkit/WholeFile.h"

namespace patcher::patchkit::win32 {
namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kDevice = L"\\\\.\\";
constexpr std::wstring_view kExtendedShare = L"\\\\?\\UNC\\";

// A call that failed, with the system's error number, inside this file.
struct SystemRefusal {
    DWORD Error;
};

// The system answers a call that fills a buffer with the size it needs where the buffer is too small.
template <typename Call>
std::wstring Filled(Call call) {
    std::wstring text(MAX_PATH, L'\0');
    for (int tries = 0; tries < 4; ++tries) {
        const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) {
            throw SystemRefusal{::GetLastError()};
        }
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(length);
    }
    throw SystemRefusal{ERROR_INSUFFICIENT_BUFFER};
}

// Wine's GetFinalPathNameByHandleW takes a name of MAX_PATH characters at most and says ERROR_MORE_DATA for a
// longer one; the object's own name, which Wine gives in its DOS form ("\??\C:\..."), is whole. Windows gives
// a device's name there ("\Device\HarddiskVolume3\..."), which is no final path: nothing then.
std::wstring ObjectNameInDosForm(HANDLE handle) {
    using QueryObject = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = patcher::win32::SystemFunction<QueryObject>(L"ntdll.dll", "NtQueryObject");
    constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);
    std::vector<std::uint8_t> information(sizeof(UNICODE_STRING) + 65536 * sizeof(wchar_t));
    ULONG length = 0;
    if (query == nullptr || query(handle, kObjectNameInformation, information.data(),
                                  static_cast<ULONG>(information.size()), &length) < 0) {
        return {};
    }
    UNICODE_STRING name{};
    std::memcpy(&name, information.data(), sizeof name);
    const std::wstring text(name.Buffer, name.Length / sizeof(wchar_t));
    constexpr std::wstring_view kDosDevices = L"\\??\\";
    return text.starts_with(kDosDevices) ? std::wstring(kExtended) + text.substr(kDosDevices.size()) : std::wstring();
}

// Where the names of an extended path begin: after "\\?\C:\", or after "\\?\UNC\server\share\".
std::size_t RootLength(const std::wstring& path) {
    if (path.starts_with(kExtendedShare)) {
        std::size_t at = path.find(L'\\', kExtendedShare.size());
        at = at == std::wstring::npos ? std::wstring::npos : path.find(L'\\', at + 1);
        return at == std::wstring::npos ? path.size() : at + 1;
    }
    if (path.starts_with(kExtended) || path.starts_with(kDevice)) {
        const std::size_t at = path.find(L'\\', kExtended.size());
        return at == std::wstring::npos ? path.size() : at + 1;
    }
    return 0;
}

}  // namespace

std::wstring ExtendedPath(const std::filesystem::path& path) {
    const std::wstring& given = path.native();
    if (given.starts_with(kExtended) || given.starts_with(kDevice)) {
        return given;
    }
    if (given.empty() || given.find(L'\0') != std::wstring::npos) {
        ThrowReadError(ERROR_INVALID_NAME);
    }
    std::wstring full;
    try {
        full =
            Filled([&](wchar_t* text, DWORD size) { return ::GetFullPathNameW(given.c_str(), size, text, nullptr); });
    } catch (const SystemRefusal& refusal) {
        ThrowReadError(refusal.Error);
    }
    if (full.starts_with(kDevice)) {
        return full;  // a device's name ("NUL", "COM1"), which no extended form names
    }
    if (full.starts_with(L"\\\\")) {
        return std::wstring(kExtendedShare) + full.substr(2);
    }
    return std::wstring(kExtended) + full;
}

std::string Written(std::wstring_view path) {
    std::wstring written(path);
    if (written.starts_with(kExtendedShare)) {
        written = L"\\\\" + written.substr(kExtendedShare.size());
    } else if (written.starts_with(kExtended)) {
        written.erase(0, kExtended.size());
    }
    return Utf8Of(written);
}

std::wstring Joined(std::wstring_view folder, std::wstring_view name) {
    std::wstring joined(folder);
    if (!joined.empty() && joined.back() != L'\\') {
        joined += L'\\';
    }
    joined += name;
    return joined;
}

std::pair<std::wstring, std::wstring> SplitLast(const std::wstring& path) {
    std::wstring trimmed = path;
    const std::size_t root = RootLength(trimmed);
    while (trimmed.size() > std::max<std::size_t>(root, 1) && trimmed.back() == L'\\') {
        trimmed.pop_back();
    }
    if (trimmed.size() <= root) {
        return {trimmed, L""};
    }
    const std::size_t slash = trimmed.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return {L"", trimmed};
    }
    // The root keeps its "\": without it, "\\?\C:" names the volume rather than its root folder.
    const std::size_t folderEnd = slash + 1 == root ? root : slash;
    return {trimmed.substr(0, folderEnd), trimmed.substr(slash + 1)};
}

bool SameNames(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    // As NTFS compares names: by the system's table of upper-case letters, not by any language's rules.
    return a.empty() || ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                               static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

UniqueFileHandle OpenToLook(const std::wstring& path, DWORD flags) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
}

std::wstring FinalPath(HANDLE handle) {
    try {
        return Filled([&](wchar_t* text, DWORD size) {
            return ::GetFinalPathNameByHandleW(handle, text, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        });
    } catch (const SystemRefusal& refusal) {
        std::wstring named = refusal.Error == ERROR_MORE_DATA ? ObjectNameInDosForm(handle) : std::wstring();
        if (named.empty()) {
            ThrowReadError(refusal.Error);
        }
        return named;
    }
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void ThrowReadError(DWORD error) {
    throw ReadError(SystemErrorText(error));
}

std::vector<std::uint8_t> ReadOpenHandle(HANDLE handle, std::uint64_t limit, const std::string& limitText) {
    // A console, a pipe or a device is never read as a file: it could block, or never end.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        throw ReadError("not a regular file");
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handle, &information)) {
        ThrowReadError(::GetLastError());
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw ReadError("a folder, not a file");
    }
    const std::uint64_t size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    return ReadWholeFile(size, limit, limitText, [handle](std::span<std::uint8_t> into) -> std::size_t {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(handle, into.data(), chunk, &got, nullptr)) {
            ThrowReadError(::GetLastError());
        }
        return got;
    });
}

}  // namespace patcher::patchkit::win32

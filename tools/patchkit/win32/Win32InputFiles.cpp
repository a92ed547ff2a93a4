#include <windows.h>

#include <deque>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/win32/WindowsPaths.h"

namespace patcher::patchkit {

using win32::ExtendedPath;
using win32::FinalPath;
using win32::OpenToLook;
using win32::ThrowReadError;
using win32::UniqueFileHandle;

std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path,
                                          std::uint64_t limit,
                                          const std::string& limitText) {
    // Others may read it meanwhile, but not write it: what is read is what the file holds. A folder opens too,
    // to be refused as one rather than as a file that access was denied to.
    const UniqueFileHandle file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                              nullptr));
    if (!file) {
        ThrowReadError(::GetLastError());
    }
    return win32::ReadOpenHandle(file.Get(), limit, limitText);
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    try {
        const UniqueFileHandle first = OpenToLook(ExtendedPath(a));
        const UniqueFileHandle second = OpenToLook(ExtendedPath(b));
        BY_HANDLE_FILE_INFORMATION one{};
        BY_HANDLE_FILE_INFORMATION other{};
        return first && second && ::GetFileInformationByHandle(first.Get(), &one) &&
               ::GetFileInformationByHandle(second.Get(), &other) &&
               one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
               one.nFileIndexLow == other.nFileIndexLow;
    } catch (const ReadError&) {
        return false;
    }
}

std::filesystem::path RealPath(const std::filesystem::path& path) {
    // The deepest part that exists gives its final path (every link and junction on the way resolved); the
    // names after it are where something will be.
    std::wstring existing = ExtendedPath(path);
    std::deque<std::wstring> rest;
    while (true) {
        const UniqueFileHandle found = OpenToLook(existing);
        if (found) {
            std::wstring real = FinalPath(found.Get());
            for (const std::wstring& name : rest) {
                real = win32::Joined(real, name);
            }
            return real;
        }
        const DWORD error = ::GetLastError();
        auto [folder, name] = win32::SplitLast(existing);
        if (!win32::IsNotFound(error) || name.empty()) {
            ThrowReadError(error);
        }
        rest.push_front(std::move(name));
        existing = std::move(folder);
    }
}

std::filesystem::path ExistingRealPath(const std::filesystem::path& path) {
    const UniqueFileHandle found = OpenToLook(ExtendedPath(path));
    if (!found) {
        ThrowReadError(::GetLastError());
    }
    return FinalPath(found.Get());
}

PathKind KindAt(const std::filesystem::path& path) {
    const UniqueFileHandle found = OpenToLook(ExtendedPath(path));
    if (!found) {
        const DWORD error = ::GetLastError();
        if (win32::IsNotFound(error)) {
            return PathKind::Missing;
        }
        ThrowReadError(error);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(found.Get(), &information)) {
        ThrowReadError(::GetLastError());
    }
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::Other;
}

bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    // A final "\" ("\\?\C:\", "C:\Releases\") changes nothing.
    const auto trimmed = [](std::wstring_view path) {
        while (!path.empty() && path.back() == L'\\') {
            path.remove_suffix(1);
        }
        return path;
    };
    const std::wstring_view in = trimmed(inner.native());
    const std::wstring_view out = trimmed(outer.native());
    return in.size() >= out.size() && win32::SameNames(in.substr(0, out.size()), out) &&
           (in.size() == out.size() || in[out.size()] == L'\\');
}

}  // namespace patcher::patchkit

#include <windows.h>

#include <algorithm>

#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/FreshName.h"
#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/win32/AnsiPath.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

using win32::UniqueFileHandle;

// A name taken by another file is met again only by chance; this many in a row mean something else is wrong.
constexpr int kFreshNameAttempts = 16;

// The attributes that a file's owner sets and that a replaced file passes on to its replacement, as
// ReplaceFile does.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE;

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

[[noreturn]] void ThrowError(const char* operation, DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        throw FileInUseError(operation, error);
    }
    throw PlatformError(operation, error);
}

[[noreturn]] void ThrowLastError(const char* operation) {
    ThrowError(operation, ::GetLastError());
}

ByteString SystemPath(ByteStringView path) {
    return Terminated(path, "a path", ERROR_INVALID_NAME);
}

// The swap works on wide text, converted from the code page that the A functions read paths in: every
// character of the path is then one unit, whatever the code page.
std::wstring WidePath(ByteStringView path) {
    return win32::WideFromBytes(SystemPath(path), CP_ACP);
}

unsigned long Outcome(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : ::GetLastError();
}

class Win32SwapCalls final : public SwapCalls {
  public:
    Win32SwapCalls(UniqueFileHandle& hold, const std::wstring& target, const std::wstring& replacement)
        : hold_(hold), target_(target), replacement_(replacement) {}

    unsigned long TakeTargetAttributes(bool& readOnly) override {
        BY_HANDLE_FILE_INFORMATION information{};
        if (!::GetFileInformationByHandle(hold_.Get(), &information)) {
            return ::GetLastError();
        }
        readOnly = (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly) {
            return ERROR_SUCCESS;
        }
        const DWORD kept = information.dwFileAttributes & kKeptAttributes;
        return Outcome(::SetFileAttributesW(replacement_.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL));
    }
    unsigned long RenameOverTarget() override {
        return Outcome(
            ::MoveFileExW(replacement_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    }
    void ReleaseHold() override { hold_.Reset(); }
    unsigned long OpenTargetForWriting() override {
        const UniqueFileHandle probe(::CreateFileW(target_.c_str(), GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return probe ? ERROR_SUCCESS : ::GetLastError();
    }

  private:
    UniqueFileHandle& hold_;
    const std::wstring& target_;
    const std::wstring& replacement_;
};

// Reading a single byte at a time through a handle, for each kind of readable file.
template <typename Interface>
class HandleReader : public Interface {
  public:
    explicit HandleReader(UniqueFileHandle handle) : handle_(std::move(handle)) {}

    std::int64_t Size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(handle_.Get(), &size)) {
            ThrowLastError("GetFileSizeEx");
        }
        return size.QuadPart;
    }

    void Seek(std::int64_t offset) override {
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        if (!::SetFilePointerEx(handle_.Get(), distance, nullptr, FILE_BEGIN)) {
            ThrowLastError("SetFilePointerEx");
        }
    }

    std::uint8_t ReadByte() override {
        unsigned char byte = 0;
        DWORD got = 0;
        if (!::ReadFile(handle_.Get(), &byte, 1, &got, nullptr)) {
            ThrowLastError("ReadFile");
        }
        if (got != 1) {
            throw PlatformError("ReadFile past the end of the file", ERROR_HANDLE_EOF);
        }
        return byte;
    }

  protected:
    UniqueFileHandle handle_;
};

using Win32ReadableFile = HandleReader<ReadableFile>;

class Win32ReplaceableFile final : public HandleReader<ReplaceableFile> {
  public:
    Win32ReplaceableFile(UniqueFileHandle hold, std::wstring path)
        : HandleReader(std::move(hold)), path_(std::move(path)) {}

    void ReplaceWith(ByteStringView replacement) override {
        if (!handle_) {
            throw PlatformError("a replacement of a file no longer held", ERROR_INVALID_HANDLE);
        }
        const std::wstring from = WidePath(replacement);
        Win32SwapCalls calls(handle_, path_, from);
        SwapIntoPlace(calls);
    }

  private:
    std::wstring path_;
};

class Win32WritableFile final : public WritableFile {
  public:
    explicit Win32WritableFile(UniqueFileHandle handle) : handle_(std::move(handle)) {}

    void Write(std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!::WriteFile(handle_.Get(), bytes.data(), chunk, &written, nullptr)) {
                ThrowLastError("WriteFile");
            }
            if (written == 0) {
                throw PlatformError("WriteFile wrote nothing", ERROR_WRITE_FAULT);
            }
            bytes = bytes.subspan(written);
        }
    }

    void Flush() override {
        if (!::FlushFileBuffers(handle_.Get())) {
            ThrowLastError("FlushFileBuffers");
        }
    }

    void Close() override {
        if (!::CloseHandle(handle_.Release())) {
            ThrowLastError("CloseHandle");
        }
    }

  private:
    UniqueFileHandle handle_;
};

class Win32FileSystem final : public FileSystem {
  public:
    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        const ByteString terminated = SystemPath(path);
        // Sharing delete too: a check that reads the file must not keep an update from replacing it.
        UniqueFileHandle handle(::CreateFileA(terminated.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) {
            ThrowLastError("CreateFileA");
        }
        return std::make_unique<Win32ReadableFile>(std::move(handle));
    }

    FilePresence LookUpFile(ByteStringView path) override {
        if (path.empty() || HoldsZeroByte(path)) {
            return {Presence::Unknown, ERROR_INVALID_NAME};
        }
        const ByteString terminated(path);
        const DWORD attributes = ::GetFileAttributesA(terminated.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            // Access denied, a share that cannot be reached, a bad name: something may be there all the same.
            const DWORD error = ::GetLastError();
            return {IsNotFound(error) ? Presence::Absent : Presence::Unknown, error};
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return {Presence::Unknown, ERROR_ACCESS_DENIED};  // as opening it as a file answers
        }
        return {Presence::File, ERROR_SUCCESS};
    }

    bool DirectoryExists(ByteStringView path) override {
        if (path.empty() || HoldsZeroByte(path)) {
            return false;
        }
        const ByteString terminated(path);
        const DWORD attributes = ::GetFileAttributesA(terminated.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    void CheckWritable(ByteStringView path) override {
        if (path.empty()) {
            throw PlatformError("open for writing of an empty path", ERROR_INVALID_NAME);
        }
        const ByteString terminated = SystemPath(path);
        const DWORD attributes = ::GetFileAttributesA(terminated.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) {
                return;
            }
            throw PlatformError("GetFileAttributesA", error);
        }
        // Checked by hand: run as an administrator, some systems open read-only files for writing all the same.
        if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            throw ReadOnlyFileError("open for writing of a read-only file", ERROR_ACCESS_DENIED);
        }
        const UniqueFileHandle handle(::CreateFileA(terminated.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) {
            ThrowLastError("CreateFileA for writing");
        }
    }

    std::unique_ptr<WritableFile> CreateFileBeside(ByteStringView neighbour, ByteString& path) override {
        const ByteString beside = SystemPath(neighbour);
        const std::size_t nameStart = win32::AnsiNameStart(beside);
        const ByteString folder = nameStart == 0 ? ByteString(".\\") : beside.substr(0, nameStart);
        // Made and opened in one call, and written through that handle: a second open by name could fail
        // because a scanner looks at the new file, or reach another file that was put under its name.
        for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
            const ByteString name = folder + FreshFileName(beside.size() - nameStart);
            UniqueFileHandle handle(
                ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (handle) {
                path = name;
                return std::make_unique<Win32WritableFile>(std::move(handle));
            }
            if (::GetLastError() != ERROR_FILE_EXISTS) {
                ThrowLastError("CreateFileA of a new file");
            }
        }
        throw PlatformError("CreateFileA of a new file under a fresh name", ERROR_FILE_EXISTS);
    }

    std::unique_ptr<ReplaceableFile> OpenForReplacing(ByteStringView path) override {
        std::wstring target = WidePath(path);
        // No other program may write the file while it is held, but it may be deleted: a rename over it is one.
        UniqueFileHandle hold(::CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!hold) {
            const DWORD error = ::GetLastError();
            if (IsNotFound(error)) {
                return nullptr;
            }
            ThrowError("CreateFileW of the file to replace", error);
        }
        return std::make_unique<Win32ReplaceableFile>(std::move(hold), std::move(target));
    }

    bool PlaceNewFile(ByteStringView target, ByteStringView replacement) override {
        const std::wstring to = WidePath(target), from = WidePath(replacement);
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            return false;
        }
        ThrowError("MoveFileExW of a new file", error);
    }

    bool Delete(ByteStringView path) noexcept override {
        char name[MAX_PATH + 1] = {};
        if (path.empty() || path.size() > MAX_PATH || HoldsZeroByte(path)) {
            return false;
        }
        path.copy(name, path.size());
        return ::DeleteFileA(name) != 0;
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

}  // namespace patcher

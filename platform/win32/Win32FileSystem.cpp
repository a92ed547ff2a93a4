#include <windows.h>

#include <algorithm>

#include "common/PathText.h"
#include "platform/FileSwap.h"
#include "platform/FileSystem.h"
#include "platform/FreshName.h"
#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

using win32::UniqueFileHandle;

static_assert(kUnableToMoveReplacement2 == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);

// A name taken by another file is met again only by chance; this many in a row mean something else is wrong.
constexpr int kFreshNameAttempts = 16;

[[noreturn]] void ThrowLastError(const char* operation) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        throw FileInUseError(operation, error);
    }
    throw PlatformError(operation, error);
}

ByteString SystemPath(ByteStringView path) {
    return Terminated(path, "a path", ERROR_INVALID_NAME);
}

unsigned long Outcome(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : ::GetLastError();
}

class Win32SwapCalls final : public SwapCalls {
  public:
    bool Exists(const ByteString& path) override {
        return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool IsReadOnly(const ByteString& path) override {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    unsigned long Replace(const ByteString& target, const ByteString& replacement, const ByteString& backup) override {
        return Outcome(::ReplaceFileA(target.c_str(), replacement.c_str(), backup.c_str(),
                                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
    }
    unsigned long Move(const ByteString& from, const ByteString& to, bool replaceExisting) override {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
        return Outcome(::MoveFileExA(from.c_str(), to.c_str(), flags));
    }
    unsigned long Delete(const ByteString& path) override { return Outcome(::DeleteFileA(path.c_str())); }
    unsigned long DeleteAtRestart(const ByteString& path) override {
        return Outcome(::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    }
};

class Win32ReadableFile final : public ReadableFile {
  public:
    explicit Win32ReadableFile(UniqueFileHandle handle) : handle_(std::move(handle)) {}

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

  private:
    UniqueFileHandle handle_;
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
        UniqueFileHandle handle(::CreateFileA(terminated.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) {
            ThrowLastError("CreateFileA");
        }
        return std::make_unique<Win32ReadableFile>(std::move(handle));
    }

    bool FileExists(ByteStringView path) override {
        const DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool DirectoryExists(ByteStringView path) override {
        const DWORD attributes = Attributes(path);
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

    std::unique_ptr<WritableFile> CreateUniqueFile(ByteStringView directory,
                                                   std::size_t longestName,
                                                   ByteString& path) override {
        ByteString folder = directory.empty() ? ByteString(".") : SystemPath(directory);
        if (folder.back() != '\\' && folder.back() != '/' && folder.back() != ':') {
            folder += '\\';
        }
        // Made and opened in one call, and written through that handle: a second open by name could fail
        // because a scanner looks at the new file, or reach another file that was put under its name.
        for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
            const ByteString name = folder + FreshFileName(longestName);
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

    void Replace(ByteStringView target, ByteStringView replacement) override {
        const ByteString to = SystemPath(target), from = SystemPath(replacement);
        Win32SwapCalls calls;
        // A backup name lets a failed replacement leave both files under names we know: without one, a
        // failure can leave the target gone. As short as the replacement's, so that it fits where it fits.
        const ByteString folder = from.substr(0, NameStart(from));
        for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
            const ByteString backup = folder + FreshFileName(NameOf(from).size());
            if (!calls.Exists(backup)) {
                SwapIntoPlace(calls, to, from, backup);
                return;
            }
        }
        throw PlatformError("a fresh backup name", ERROR_FILE_EXISTS);
    }

    bool Delete(ByteStringView path) noexcept override {
        char name[MAX_PATH + 1] = {};
        if (path.empty() || path.size() > MAX_PATH || HoldsZeroByte(path)) {
            return false;
        }
        path.copy(name, path.size());
        return ::DeleteFileA(name) != 0;
    }

  private:
    static DWORD Attributes(ByteStringView path) {
        if (path.empty() || HoldsZeroByte(path)) {
            return INVALID_FILE_ATTRIBUTES;
        }
        const ByteString terminated(path);
        return ::GetFileAttributesA(terminated.c_str());
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

}  // namespace patcher

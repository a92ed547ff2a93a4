#include <windows.h>

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

using win32::UniqueFileHandle;

[[noreturn]] void ThrowLastError(const char* operation) {
    throw PlatformError(operation, ::GetLastError());
}

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

class Win32FileSystem final : public FileSystem {
  public:
    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        const ByteString terminated(path);
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

  private:
    static DWORD Attributes(ByteStringView path) {
        if (path.empty()) {
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

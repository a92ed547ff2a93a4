#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "platform/posix/UniqueFd.h"

namespace patcher {
namespace {

class PosixReadableFile final : public ReadableFile {
  public:
    explicit PosixReadableFile(UniqueFd fd) : fd_(std::move(fd)) {}

    std::int64_t Size() override {
        struct stat info {};
        if (::fstat(fd_.Get(), &info) != 0) {
            throw PlatformError("fstat", static_cast<unsigned long>(errno));
        }
        return static_cast<std::int64_t>(info.st_size);
    }

    void Seek(std::int64_t offset) override {
        if (::lseek(fd_.Get(), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(-1)) {
            throw PlatformError("lseek", static_cast<unsigned long>(errno));
        }
    }

    std::uint8_t ReadByte() override {
        unsigned char byte = 0;
        ssize_t got = 0;
        do {
            got = ::read(fd_.Get(), &byte, 1);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            throw PlatformError("read", static_cast<unsigned long>(errno));
        }
        if (got == 0) {
            throw PlatformError("read past the end of the file", 0);
        }
        return byte;
    }

  private:
    UniqueFd fd_;
};

class PosixFileSystem final : public FileSystem {
  public:
    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        const ByteString terminated(path);
        UniqueFd fd(::open(terminated.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd) {
            throw PlatformError("open", static_cast<unsigned long>(errno));
        }
        struct stat info {};
        if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            throw PlatformError("open of a regular file", static_cast<unsigned long>(EISDIR));
        }
        return std::make_unique<PosixReadableFile>(std::move(fd));
    }

    bool FileExists(ByteStringView path) override { return HasMode(path, S_IFREG); }
    bool DirectoryExists(ByteStringView path) override { return HasMode(path, S_IFDIR); }

  private:
    static bool HasMode(ByteStringView path, mode_t type) {
        const ByteString terminated(path);
        struct stat info {};
        return !terminated.empty() && ::stat(terminated.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == type;
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace patcher

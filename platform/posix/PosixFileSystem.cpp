#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/PathText.h"
#include "platform/FileSystem.h"
#include "platform/FreshName.h"
#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/posix/UniqueFd.h"

namespace patcher {
namespace {

// A name taken by another file is met again only by chance; this many in a row mean something else is wrong.
constexpr int kFreshNameAttempts = 16;

ByteString SystemPath(ByteStringView path) {
    return Terminated(path, "a path", EINVAL);
}

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

[[noreturn]] void ThrowErrno(const char* operation) {
    // A program that is running from the file: it may be closing.
    if (errno == ETXTBSY) {
        throw FileInUseError(operation, static_cast<unsigned long>(errno));
    }
    throw PlatformError(operation, static_cast<unsigned long>(errno));
}

class PosixWritableFile final : public WritableFile {
  public:
    explicit PosixWritableFile(UniqueFd fd) : fd_(std::move(fd)) {}

    void Write(std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_.Get(), bytes.data(), bytes.size());
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                ThrowErrno("write");
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
    }

    void Flush() override {
        if (::fsync(fd_.Get()) != 0) {
            ThrowErrno("fsync");
        }
    }

    void Close() override {
        if (::close(fd_.Release()) != 0) {
            ThrowErrno("close");
        }
    }

  private:
    UniqueFd fd_;
};

class PosixFileSystem final : public FileSystem {
  public:
    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        const ByteString terminated = SystemPath(path);
        // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come; a regular file reads
        // the same either way.
        UniqueFd fd(::open(terminated.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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

    void CheckWritable(ByteStringView path) override {
        const ByteString terminated = SystemPath(path);
        struct stat info {};
        if (::stat(terminated.c_str(), &info) != 0) {
            if (errno == ENOENT) {
                return;
            }
            ThrowErrno("stat");
        }
        // The owner's write bit is the file's read-only attribute; root could write regardless.
        if (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0) {
            throw ReadOnlyFileError("open for writing of a read-only file", EACCES);
        }
        UniqueFd fd(::open(terminated.c_str(), O_WRONLY | O_CLOEXEC));
        if (!fd) {
            ThrowErrno("open for writing");
        }
    }

    std::unique_ptr<WritableFile> CreateUniqueFile(ByteStringView directory,
                                                   std::size_t longestName,
                                                   ByteString& path) override {
        ByteString folder = directory.empty() ? ByteString(".") : SystemPath(directory);
        if (folder.back() != '/') {
            folder += '/';
        }
        for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
            const ByteString name = folder + FreshFileName(longestName);
            UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (fd) {
                path = name;
                return std::make_unique<PosixWritableFile>(std::move(fd));
            }
            if (errno != EEXIST) {
                ThrowErrno("open of a new file");
            }
        }
        throw PlatformError("open of a new file under a fresh name", EEXIST);
    }

    void Replace(ByteStringView target, ByteStringView replacement) override {
        const ByteString to = SystemPath(target), from = SystemPath(replacement);
        // The new file takes the target's permissions, or those of any new file when there is no target.
        struct stat info {};
        mode_t mode = 0;
        if (::stat(to.c_str(), &info) == 0) {
            mode = info.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::chmod(from.c_str(), mode) != 0) {
            ThrowErrno("chmod");
        }
        if (::rename(from.c_str(), to.c_str()) != 0) {
            ThrowErrno("rename");
        }
        // The rename itself reaches the disk with its directory.
        const ByteString folder = FolderOf(to);
        if (UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
            ::fsync(dir.Get());
        }
    }

    bool Delete(ByteStringView path) noexcept override {
        try {
            const ByteString terminated(path);
            return !HoldsZeroByte(path) && ::unlink(terminated.c_str()) == 0;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

  private:
    static bool HasMode(ByteStringView path, mode_t type) {
        const ByteString terminated(path);
        struct stat info {};
        return !terminated.empty() && !HoldsZeroByte(path) && ::stat(terminated.c_str(), &info) == 0 &&
               (info.st_mode & S_IFMT) == type;
    }
};

}  // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace patcher

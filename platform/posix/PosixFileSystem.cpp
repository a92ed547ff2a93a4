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

// Reading a single byte at a time through a descriptor, for each kind of readable file.
template <typename Interface>
class FdReader : public Interface {
  public:
    explicit FdReader(UniqueFd fd) : fd_(std::move(fd)) {}

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

  protected:
    UniqueFd fd_;
};

using PosixReadableFile = FdReader<ReadableFile>;

[[noreturn]] void ThrowErrno(const char* operation) {
    // A program that is running from the file: it may be closing.
    if (errno == ETXTBSY) {
        throw FileInUseError(operation, static_cast<unsigned long>(errno));
    }
    throw PlatformError(operation, static_cast<unsigned long>(errno));
}

// Opens a regular file for reading; an invalid descriptor with errno set where none can be opened.
UniqueFd OpenRegularFile(const ByteString& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come; a regular file reads the same
    // either way.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return fd;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        errno = EISDIR;
        return UniqueFd();
    }
    return fd;
}

// The rename itself reaches the disk with its directory.
void SyncFolderOf(const ByteString& path) {
    const ByteString folder = FolderOf(path);
    if (UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
        ::fsync(dir.Get());
    }
}

// POSIX has no sharing modes: the hold keeps the file open, and nothing stops others from writing it.
class PosixReplaceableFile final : public FdReader<ReplaceableFile> {
  public:
    PosixReplaceableFile(UniqueFd fd, ByteString path) : FdReader(std::move(fd)), path_(std::move(path)) {}

    void ReplaceWith(ByteStringView replacement) override {
        const ByteString from = SystemPath(replacement);
        struct stat info {};
        if (::fstat(fd_.Get(), &info) != 0) {
            ThrowErrno("fstat");
        }
        // The owner's write bit is the file's read-only attribute.
        if ((info.st_mode & S_IWUSR) == 0) {
            throw ReadOnlyFileError("rename over a read-only file", EACCES);
        }
        if (::chmod(from.c_str(), info.st_mode & 07777) != 0) {
            ThrowErrno("chmod");
        }
        if (::rename(from.c_str(), path_.c_str()) != 0) {
            ThrowErrno("rename");
        }
        SyncFolderOf(path_);
    }

  private:
    ByteString path_;
};

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
        UniqueFd fd = OpenRegularFile(SystemPath(path));
        if (!fd) {
            throw PlatformError("open of a regular file", static_cast<unsigned long>(errno));
        }
        return std::make_unique<PosixReadableFile>(std::move(fd));
    }

    FilePresence LookUpFile(ByteStringView path) override {
        if (path.empty() || HoldsZeroByte(path)) {
            return {Presence::Unknown, EINVAL};
        }
        const ByteString terminated(path);
        struct stat info {};
        if (::stat(terminated.c_str(), &info) != 0) {
            return {errno == ENOENT || errno == ENOTDIR ? Presence::Absent : Presence::Unknown,
                    static_cast<unsigned long>(errno)};
        }
        if (!S_ISREG(info.st_mode)) {
            return {Presence::Unknown, EISDIR};  // as opening it as a file answers
        }
        return {Presence::File, 0};
    }

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

    std::unique_ptr<WritableFile> CreateFileBeside(ByteStringView neighbour, ByteString& path) override {
        const ByteString beside = SystemPath(neighbour);
        const std::size_t nameStart = beside.find_last_of('/') + 1;  // 0 where there is none
        const ByteString folder = nameStart == 0 ? ByteString("./") : beside.substr(0, nameStart);
        for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
            const ByteString name = folder + FreshFileName(beside.size() - nameStart);
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

    std::unique_ptr<ReplaceableFile> OpenForReplacing(ByteStringView path) override {
        ByteString terminated = SystemPath(path);
        UniqueFd fd = OpenRegularFile(terminated);
        if (!fd) {
            if (errno == ENOENT || errno == ENOTDIR) {
                return nullptr;
            }
            ThrowErrno("open of the file to replace");
        }
        return std::make_unique<PosixReplaceableFile>(std::move(fd), std::move(terminated));
    }

    bool PlaceNewFile(ByteStringView target, ByteStringView replacement) override {
        const ByteString to = SystemPath(target), from = SystemPath(replacement);
        // A new file has the permissions of any new file, not the 0600 it was written under.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::chmod(from.c_str(), 0666 & ~mask) != 0) {
            ThrowErrno("chmod");
        }
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) {
                return false;
            }
            ThrowErrno("renameat2");
        }
        SyncFolderOf(to);
        return true;
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

#include "tools/patchkit/posix/PosixReleaseFolder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/posix/PosixFiles.h"

namespace patcher::patchkit {
namespace {

constexpr int kFileFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
// Folders on the way are only passed through: O_PATH needs no right to list them.
constexpr int kFolderFlags = O_PATH | O_CLOEXEC | O_DIRECTORY | O_NOFOLLOW;

constexpr int kMaxTries = 16;

// Set once the kernel has said that it has no openat2, so that the walk is taken at once afterwards.
std::atomic<bool> noOpenat2{false};

// glibc has no wrapper for openat2 before 2.40.
int Openat2(int folder, const char* path, const open_how& how) {
    return static_cast<int>(::syscall(SYS_openat2, folder, path, &how, sizeof how));
}

}  // namespace

std::unique_ptr<ReleaseFolder> OpenReleaseFolder(const std::filesystem::path& path) {
    return std::make_unique<PosixReleaseFolder>(path);
}

PosixReleaseFolder::PosixReleaseFolder(const std::filesystem::path& path, Resolution resolution)
    : folder_(::open(path.c_str(), O_PATH | O_CLOEXEC | O_DIRECTORY)), resolution_(resolution) {
    if (!folder_) {
        throw ReadError(Reason(errno));
    }
    std::error_code error;
    path_ = std::filesystem::canonical(path, error);
    if (error) {
        path_ = path;
    }
}

UniqueFd PosixReleaseFolder::Open(const std::string& path) const {
    UniqueFd file = resolution_ == Resolution::Kernel && !noOpenat2 ? OpenByKernel(path) : OpenByWalk(path);
    struct stat found {};
    struct stat folder {};
    if (::fstat(file.Get(), &found) == 0 && ::fstat(folder_.Get(), &folder) == 0 && found.st_dev == folder.st_dev &&
        found.st_ino == folder.st_ino) {
        throw ReadError("it names the release folder, not a file");
    }
    return file;
}

std::vector<std::uint8_t> PosixReleaseFolder::Read(const std::string& path,
                                                   std::uint64_t limit,
                                                   const std::string& limitText) const {
    return ReadOpenFile(Open(path).Get(), limit, limitText);
}

UniqueFd PosixReleaseFolder::OpenByKernel(const std::string& path) const {
    open_how how{};
    how.flags = kFileFlags;
    how.resolve = RESOLVE_BENEATH;
    UniqueFd file(Openat2(folder_.Get(), path.c_str(), how));
    // EAGAIN: a rename somewhere meanwhile kept the kernel from being sure of a "..", and it asks again.
    for (int tries = 1; !file && errno == EAGAIN && tries < kMaxTries; ++tries) {
        file = UniqueFd(Openat2(folder_.Get(), path.c_str(), how));
    }
    if (file) {
        return file;
    }
    if (errno == ENOSYS) {
        noOpenat2 = true;
        return OpenByWalk(path);
    }
    if (errno == EXDEV) {
        Escaped(path);
    }
    throw ReadError(Reason(errno));
}

UniqueFd PosixReleaseFolder::OpenByWalk(const std::string& path) const {
    // The folders on the way, the release folder first; ".." steps back to the one before.
    std::vector<UniqueFd> folders;
    folders.emplace_back(::fcntl(folder_.Get(), F_DUPFD_CLOEXEC, 0));
    if (!folders.back()) {
        throw ReadError(Reason(errno));
    }
    const std::filesystem::path parts(path);
    for (auto part = parts.begin(); part != parts.end(); ++part) {
        const std::string name = part->string();
        const bool last = std::next(part) == parts.end();
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            if (folders.size() == 1) {
                throw ReadError("it lies outside the release folder");
            }
            folders.pop_back();
            continue;
        }
        const int at = folders.back().Get();
        UniqueFd next(::openat(at, name.c_str(), last ? kFileFlags | O_NOFOLLOW : kFolderFlags));
        if (!next) {
            const int error = errno;
            if ((error == ELOOP || error == ENOTDIR) && IsLinkAt(at, name)) {
                throw ReadError(
                    "a link on the way, which is followed only where the system keeps it inside the "
                    "release folder (openat2)");
            }
            throw ReadError(Reason(error));
        }
        folders.push_back(std::move(next));
    }
    // A path that ends in a folder ("8/..") gives that folder, to be refused as no file.
    return std::move(folders.back());
}

void PosixReleaseFolder::Escaped(const std::string& path) const {
    const std::filesystem::path lexical = std::filesystem::path(path).lexically_normal();
    if (!lexical.empty() && *lexical.begin() == "..") {
        throw ReadError("it lies outside the release folder");
    }
    // Where the link leads, for the message alone: what is read is only ever what the kernel opened.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path_ / path, error);
    if (!error && !IsWithin(real, path_)) {
        throw ReadError("a link on the way leads outside the release folder, to " + Shown(real.string()));
    }
    throw ReadError("a link on the way leads outside the release folder, or names its place by a full path");
}

}  // namespace patcher::patchkit

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <system_error>

#include "platform/posix/UniqueFd.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/WholeFile.h"
#include "tools/patchkit/posix/PosixFiles.h"

namespace patcher::patchkit {
namespace {

// How many links one path may pass through, as the system counts before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

}  // namespace

std::vector<std::uint8_t> ReadOpenFile(int fd, std::uint64_t limit, const std::string& limitText) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw ReadError(Reason(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw ReadError(Reason(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        throw ReadError("not a regular file");
    }
    return ReadWholeFile(static_cast<std::uint64_t>(info.st_size), limit, limitText,
                         [fd](std::span<std::uint8_t> into) -> std::size_t {
                             while (true) {
                                 const ssize_t got = ::read(fd, into.data(), into.size());
                                 if (got >= 0) {
                                     return static_cast<std::size_t>(got);
                                 }
                                 if (errno != EINTR) {
                                     throw ReadError(Reason(errno));
                                 }
                             }
                         });
}

std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path,
                                          std::uint64_t limit,
                                          const std::string& limitText) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        throw ReadError(Reason(errno));
    }
    return ReadOpenFile(fd.Get(), limit, limitText);
}

bool IsLinkAt(int folder, const std::string& name) {
    struct stat info {};
    return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::filesystem::path RealPath(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        throw ReadError(error.message());
    }
    // The parts still to resolve; a link puts the parts of its target in front of them.
    const std::filesystem::path parts = absolute.relative_path();
    std::deque<std::filesystem::path> pending(parts.begin(), parts.end());
    std::filesystem::path real = absolute.root_path();
    int links = 0;
    while (!pending.empty()) {
        const std::filesystem::path part = std::move(pending.front());
        pending.pop_front();
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            real = real.parent_path();
            continue;
        }
        const std::filesystem::path next = real / part;
        struct stat info {};
        if (::lstat(next.c_str(), &info) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) {
                throw ReadError(Reason(errno));
            }
            // Nothing is there yet: the rest is where it will be.
            std::filesystem::path rest = part;
            for (const std::filesystem::path& later : pending) {
                rest /= later;
            }
            return (real / rest).lexically_normal();
        }
        if (!S_ISLNK(info.st_mode)) {
            real = next;
            continue;
        }
        if (++links > kMaxLinks) {
            throw ReadError(Reason(ELOOP));
        }
        const std::filesystem::path target = std::filesystem::read_symlink(next, error);
        if (error) {
            throw ReadError(error.message());
        }
        if (target.is_absolute()) {
            real = target.root_path();
        }
        const std::filesystem::path relative = target.relative_path();
        pending.insert(pending.begin(), relative.begin(), relative.end());
    }
    return real;
}

std::filesystem::path ExistingRealPath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error) {
        throw ReadError(error.message());
    }
    return real;
}

PathKind KindAt(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        throw ReadError(error.message());
    }
    if (!std::filesystem::exists(status)) {
        return PathKind::Missing;
    }
    return std::filesystem::is_directory(status) ? PathKind::Folder : PathKind::Other;
}

bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i) {
        // A final separator ("a/b/") gives an empty last part, which anything matches.
        if (o->empty() && std::next(o) == outer.end()) {
            return true;
        }
        if (i == inner.end() || *i != *o) {
            return false;
        }
    }
    return true;
}

}  // namespace patcher::patchkit

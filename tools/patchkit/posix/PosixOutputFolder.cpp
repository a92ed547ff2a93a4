#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/posix/UniqueFd.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/Undo.h"
#include "tools/patchkit/posix/PosixFiles.h"

namespace patcher::patchkit {
namespace {

// A step that failed, in the system's words; the command's message names what the maintainer gave.
struct WriteFailure {
    std::string Reason;
};

[[noreturn]] void Fail(int error) {
    throw WriteFailure{Reason(error)};
}

void Check(const std::error_code& error) {
    if (error) {
        throw WriteFailure{error.message()};
    }
}

// A fresh scratch name, from the kernel's random source.
std::string ScratchName() {
    std::array<std::uint8_t, 6> random{};
    if (::getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
        Fail(errno);
    }
    return ScratchNameFrom(random);
}

// Makes an entry under a fresh scratch name, as `make` does, which fails with EEXIST where the name is taken
// (another name is tried then). Returns the name.
std::string MakeScratch(const std::function<bool(const std::string&)>& make) {
    for (int tries = 0; tries < 100; ++tries) {
        std::string name = ScratchName();
        if (make(name)) {
            return name;
        }
        if (errno != EEXIST) {
            Fail(errno);
        }
    }
    Fail(EEXIST);
}

UniqueFd OpenFolder(const std::filesystem::path& path) {
    UniqueFd folder(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        Fail(errno);
    }
    return folder;
}

// Writes a whole file and onto the disk: a full disk shows here, at the latest when it is synced.
void WriteWhole(UniqueFd fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0) {
            Fail(errno);
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (::fsync(fd.Get()) != 0) {
        Fail(errno);
    }
    // Closed here rather than by the owner, whose close cannot report a failure.
    if (::close(fd.Release()) != 0) {
        Fail(errno);
    }
}

UniqueFd CreateFileAt(int folder, const std::string& name) {
    return UniqueFd(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
}

void RenameAt(int folder, const std::string& from, const std::string& to) {
    if (::renameat(folder, from.c_str(), folder, to.c_str()) != 0) {
        Fail(errno);
    }
}

// Writes a file beside `name` in the folder and renames it into its place.
void PutFileAt(int folder, const std::string& name, std::span<const std::uint8_t> bytes) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) {
        if (S_ISLNK(info.st_mode)) {
            throw WriteFailure{"a symbolic link, which is never written through"};
        }
        throw WriteFailure{S_ISDIR(info.st_mode) ? Reason(EISDIR) : "not a regular file, and only one is replaced"};
    }
    UniqueFd fd;
    const std::string scratch = MakeScratch([&](const std::string& candidate) {
        fd = CreateFileAt(folder, candidate);
        return static_cast<bool>(fd);
    });
    Undo undo([&] { ::unlinkat(folder, scratch.c_str(), 0); });
    WriteWhole(std::move(fd), bytes);
    RenameAt(folder, scratch, name);
    undo.Keep();
}

// The real place of an output: a link there stays, and what it leads to is replaced.
std::filesystem::path RealOutput(const std::filesystem::path& path) {
    try {
        return RealPath(path);
    } catch (const ReadError& error) {
        throw WriteFailure{error.what()};
    }
}

}  // namespace

void ReplaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
    try {
        const std::filesystem::path real = RealOutput(target);
        PutFileAt(OpenFolder(real.parent_path()).Get(), real.filename().string(), bytes);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write " + Quoted(target.string()) + " (" + failure.Reason + ")");
    }
}

class OutputTree::Folder {
  public:
    explicit Folder(UniqueFd fd) : Fd(std::move(fd)) {}
    UniqueFd Fd;
};

OutputTree::OutputTree(OutputTree&&) noexcept = default;
OutputTree& OutputTree::operator=(OutputTree&&) noexcept = default;
OutputTree::~OutputTree() = default;

OutputTree::OutputTree(const std::filesystem::path& folder) : given_(folder) {
    const std::filesystem::path path = OutputFolderPath(folder);
    try {
        const std::filesystem::path real = RealOutput(path);
        std::error_code error;
        std::filesystem::create_directories(real, error);
        Check(error);
        folder_ = std::make_unique<Folder>(OpenFolder(real));
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot make the folder " + Quoted(given_.string()) + " (" + failure.Reason + ")");
    }
}

void OutputTree::Put(const std::filesystem::path& relative, std::span<const std::uint8_t> bytes) const {
    UniqueFd at(::fcntl(folder_->Fd.Get(), F_DUPFD_CLOEXEC, 0));
    std::filesystem::path shown = given_;
    try {
        if (!at) {
            Fail(errno);
        }
        for (const std::filesystem::path& part : relative.parent_path()) {
            shown /= part;
            const std::string name = part.string();
            if (::mkdirat(at.Get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
                Fail(errno);
            }
            UniqueFd next(::openat(at.Get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next) {
                const int error = errno;
                if (IsLinkAt(at.Get(), name)) {
                    throw WriteFailure{"a symbolic link, which is never followed"};
                }
                Fail(error);
            }
            at = std::move(next);
        }
        shown /= relative.filename();
        PutFileAt(at.Get(), relative.filename().string(), bytes);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write " + Quoted(shown.string()) + " (" + failure.Reason + ")");
    }
}

std::filesystem::path OutputTree::Place() const {
    std::error_code error;
    std::filesystem::path place =
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(folder_->Fd.Get()), error);
    if (error) {
        throw std::runtime_error("cannot tell where the folder " + Quoted(given_.string()) + " is (" + error.message() +
                                 ")");
    }
    return place;
}

}  // namespace patcher::patchkit

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

// Old contents that cannot be removed are found before anything is written: every folder in them that holds
// anything must let this process list it and remove from it, by the rights that the system gives this
// process (AT_EACCESS; root's included). Throws WriteFailure naming the place as `shown`.
void CheckRemovable(const std::filesystem::path& folder, const std::filesystem::path& shown) {
    const auto refuse = [&](const std::string& reason) {
        throw WriteFailure{"its old contents cannot be removed (" + Quoted(shown.string()) + ": " + reason +
                           "), and nothing was written"};
    };
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    bool empty = true;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        empty = false;
        if (entries->symlink_status(error).type() == std::filesystem::file_type::directory) {
            CheckRemovable(entries->path(), shown / entries->path().filename());
        }
    }
    if (error) {
        refuse(error.message());
    }
    if (!empty && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        refuse(Reason(errno));
    }
}

std::string PutFolder(const std::filesystem::path& folder,
                      const std::vector<OutputFile>& files,
                      const std::filesystem::path& shown) {
    std::error_code error;
    const std::filesystem::path parentPath = folder.parent_path();
    std::filesystem::create_directories(parentPath, error);
    Check(error);
    const UniqueFd parent = OpenFolder(parentPath);
    const std::string name = folder.filename().string();
    struct stat info {};
    const bool exists = ::fstatat(parent.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) {
        Fail(errno);
    }
    if (exists && !S_ISDIR(info.st_mode)) {
        Fail(ENOTDIR);
    }
    if (exists) {
        CheckRemovable(folder, shown);
    }

    const std::string fresh = MakeScratch(
        [&](const std::string& candidate) { return ::mkdirat(parent.Get(), candidate.c_str(), 0777) == 0; });
    Undo undoFresh([&] {
        std::error_code ignored;
        std::filesystem::remove_all(parentPath / fresh, ignored);
    });
    const UniqueFd inside = OpenFolder(parentPath / fresh);
    for (const OutputFile& file : files) {
        UniqueFd fd = CreateFileAt(inside.Get(), file.Name);
        if (!fd) {
            Fail(errno);
        }
        WriteWhole(std::move(fd), file.Bytes);
    }
    if (!exists) {
        RenameAt(parent.Get(), fresh, name);
        undoFresh.Keep();
        return {};
    }
    // Two renames: the old folder steps aside onto an empty scratch folder, the new one takes its place; if
    // the second fails, the old one goes back.
    const std::string old = MakeScratch(
        [&](const std::string& candidate) { return ::mkdirat(parent.Get(), candidate.c_str(), 0700) == 0; });
    Undo undoOld([&] { ::unlinkat(parent.Get(), old.c_str(), AT_REMOVEDIR); });
    RenameAt(parent.Get(), name, old);
    try {
        RenameAt(parent.Get(), fresh, name);
    } catch (...) {
        // Where the old folder cannot go back either, it stays under its scratch name rather than be lost.
        undoOld.Keep();
        ::renameat(parent.Get(), old.c_str(), parent.Get(), name.c_str());
        throw;
    }
    undoFresh.Keep();
    undoOld.Keep();
    std::filesystem::remove_all(parentPath / old, error);
    if (error) {
        return "the old contents of " + Quoted(shown.string()) +
               " could not all be removed: what is left of them is in " + Quoted((parentPath / old).string()) + " (" +
               error.message() + ")";
    }
    return {};
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

std::string ReplaceFolder(const std::filesystem::path& target, const std::vector<OutputFile>& files) {
    try {
        return PutFolder(RealOutput(FolderPath(target)), files, target);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write the folder " + Quoted(target.string()) + " (" + failure.Reason + ")");
    }
}

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

}  // namespace patcher::patchkit

#include "tools/patchkit/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/posix/UniqueFd.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"

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

// A folder or file that goes again unless it is kept: what a failed step leaves half-written.
class Scratch {
  public:
    explicit Scratch(std::filesystem::path path) : path_(std::move(path)) {}
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }

    const std::filesystem::path& Path() const { return path_; }
    void Keep() { path_.clear(); }

  private:
    std::filesystem::path path_;
};

// A name beside `path` for this process's scratch copy; dot-prefixed, so that listings pass it over.
std::filesystem::path Beside(const std::filesystem::path& path, const char* what) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a literal plus a string.
    std::string name(1, '.');
    name += path.filename().string();
    name += '.';
    name += what;
    name += '-';
    name += std::to_string(::getpid());
    return path.parent_path() / name;
}

// Writes a new file whole and onto the disk: a full disk shows here, at the latest when it is synced.
void WriteNew(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) {
        Fail(errno);
    }
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

void Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        Fail(errno);
    }
}

void PutFolder(const std::filesystem::path& folder, const std::vector<OutputFile>& files) {
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    Check(error);
    Scratch fresh(Beside(folder, "new"));
    std::filesystem::remove_all(fresh.Path(), error);
    if (::mkdir(fresh.Path().c_str(), 0777) != 0) {
        Fail(errno);
    }
    for (const OutputFile& file : files) {
        WriteNew(fresh.Path() / file.Name, file.Bytes);
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            Fail(errno);
        }
        Rename(fresh.Path(), folder);
        fresh.Keep();
        return;
    }
    // Two renames: the old folder steps aside, the new one takes its place; if the second fails, the old
    // one goes back.
    Scratch old(Beside(folder, "old"));
    std::filesystem::remove_all(old.Path(), error);
    Rename(folder, old.Path());
    try {
        Rename(fresh.Path(), folder);
    } catch (...) {
        // Where the old folder cannot go back either, it stays under its scratch name rather than be lost.
        old.Keep();
        std::filesystem::rename(old.Path(), folder, error);
        throw;
    }
    fresh.Keep();
}

void PutFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw WriteFailure{S_ISDIR(info.st_mode) ? Reason(EISDIR) : "not a regular file, and only one is replaced"};
    }
    Scratch fresh(Beside(path, "new"));
    WriteNew(fresh.Path(), bytes);
    Rename(fresh.Path(), path);
    fresh.Keep();
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

std::filesystem::path FolderPath(const std::filesystem::path& path) {
    std::filesystem::path folder = std::filesystem::absolute(path).lexically_normal();
    if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path()) {
        folder = folder.parent_path();
    }
    return folder;
}

void ReplaceFolder(const std::filesystem::path& target, const std::vector<OutputFile>& files) {
    try {
        PutFolder(RealOutput(FolderPath(target)), files);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write the folder " + Quoted(target.string()) + " (" + failure.Reason + ")");
    }
}

void ReplaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
    try {
        PutFile(RealOutput(target), bytes);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write " + Quoted(target.string()) + " (" + failure.Reason + ")");
    }
}

}  // namespace patcher::patchkit

#include "tools/patchkit/OutputFolder.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace patcher::patchkit {
namespace {

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

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
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
    const std::filesystem::path folder = FolderPath(target);
    std::filesystem::create_directories(folder.parent_path());
    Scratch fresh(Beside(folder, "new"));
    std::filesystem::remove_all(fresh.Path());
    std::filesystem::create_directory(fresh.Path());
    for (const OutputFile& file : files) {
        Write(fresh.Path() / file.Name, file.Bytes);
    }
    if (!std::filesystem::exists(folder)) {
        std::filesystem::rename(fresh.Path(), folder);
        fresh.Keep();
        return;
    }
    // Two renames: the old folder steps aside, the new one takes its place; if the second fails, the old
    // one goes back.
    Scratch old(Beside(folder, "old"));
    std::filesystem::remove_all(old.Path());
    std::filesystem::rename(folder, old.Path());
    try {
        std::filesystem::rename(fresh.Path(), folder);
    } catch (...) {
        // Where the old folder cannot go back either, it stays under its scratch name rather than be lost.
        old.Keep();
        std::error_code ignored;
        std::filesystem::rename(old.Path(), folder, ignored);
        throw;
    }
    fresh.Keep();
}

void ReplaceFile(const std::filesystem::path& target, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path path = std::filesystem::absolute(target).lexically_normal();
    Scratch fresh(Beside(path, "new"));
    Write(fresh.Path(), bytes);
    std::filesystem::rename(fresh.Path(), path);
    fresh.Keep();
}

}  // namespace patcher::patchkit

#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace patcher::patchkit {

// What the commands write, always beside its place first and renamed in: a failed write (a full disk) leaves
// what was there. Scratch entries are named ".pk-" and six random letters, so that beside any name that a
// folder can hold there is room for one. Every failure is a std::runtime_error naming the place as the
// maintainer gave it and the system's reason. Each host writes as its own file layer does (posix/, win32/):
// on Windows, a file is moved into its place over an old one (MoveFileExW).

// Writes one file. Only a regular file is replaced: a folder, a device or a FIFO in the path's place is
// refused; a link there stays, and the file it leads to is replaced.
void ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// A folder that files are put into one at a time, each as ReplaceFile writes it, at paths relative to it. The
// folder is made where it is missing (a link in its own place followed, and the folder it leads to used, or made where
// it leads to nothing yet); below it, nothing is opened through a link, and a link, a FIFO or a device where a folder
// or a file belongs is refused.
class OutputTree {
  public:
    explicit OutputTree(const std::filesystem::path& folder);
    OutputTree(OutputTree&&) noexcept;
    OutputTree& operator=(OutputTree&&) noexcept;
    ~OutputTree();

    void Put(const std::filesystem::path& relative, std::span<const std::uint8_t> bytes) const;

    // Where the folder that was opened is now, as a real path: what Put writes into, whatever has taken its
    // name's place since. Throws std::runtime_error where the host cannot tell.
    std::filesystem::path Place() const;

  private:
    class Folder;  // the folder, held open as the host holds one

    std::filesystem::path given_;
    std::unique_ptr<Folder> folder_;
};

// An absolute, normalised form of a folder's path, without a final separator.
std::filesystem::path FolderPath(const std::filesystem::path& path);

// The same for the output folder that the maintainer gave, refusing an empty path, which names no folder.
std::filesystem::path OutputFolderPath(const std::filesystem::path& given);

// A scratch entry's name (".pk-" and six letters) from six random bytes of the host's random source.
std::string ScratchNameFrom(const std::array<std::uint8_t, 6>& random);

}  // namespace patcher::patchkit

#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace patcher::patchkit {

// One file that a command writes, named relative to its folder.
struct OutputFile {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
};

// Writes the files into a fresh folder beside `folder`, then puts that folder in the place of `folder`:
// afterwards `folder` holds exactly these files, or, when anything failed, it is as it was (or still absent)
// and nothing is left beside it. A link in the folder's place stays, and the folder it leads to is replaced.
// Throws std::runtime_error naming `folder` as given and the system's reason.
void ReplaceFolder(const std::filesystem::path& folder, const std::vector<OutputFile>& files);

// The same for one file: written beside `path` and then renamed into its place, so that a failed write (a
// full disk) leaves an existing file as it was. Only a regular file is replaced: a folder, a device or a FIFO
// in the path's place is refused.
void ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// An absolute, normalised form of a folder's path, without a final separator.
std::filesystem::path FolderPath(const std::filesystem::path& path);

}  // namespace patcher::patchkit

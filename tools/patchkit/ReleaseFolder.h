#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace patcher::patchkit {

// The release folder, opened once. Every file of it is opened beneath the opened folder, and the opened file
// itself is the check that it lies inside: a folder on the way swapped for a link (a junction, a symbolic link)
// after any earlier look at the path leads nowhere outside. Size and type are those of the file that is read.
class ReleaseFolder {
  public:
    virtual ~ReleaseFolder() = default;

    // Reads a whole regular file of at most `limit` bytes by its path relative to the folder, as a description
    // writes it ("8/3/VokarDe.exe"). Throws ReadError for a path that leaves the folder, by ".." or through a
    // link, or that names the folder itself, and with the system's reason for one that cannot be read.
    virtual std::vector<std::uint8_t> Read(const std::string& path,
                                           std::uint64_t limit,
                                           const std::string& limitText) const = 0;
};

// Opens the release folder as this host opens one (posix/PosixReleaseFolder.h, win32/Win32ReleaseFolder.cpp).
// Throws ReadError with the system's reason.
std::unique_ptr<ReleaseFolder> OpenReleaseFolder(const std::filesystem::path& path);

}  // namespace patcher::patchkit

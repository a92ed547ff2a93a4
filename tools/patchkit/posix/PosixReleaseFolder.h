#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "tools/patchkit/ReleaseFolder.h"

namespace patcher::patchkit {

// How a path inside the release folder is resolved: by the kernel, which follows links only as long as they
// stay beneath the folder (openat2 with RESOLVE_BENEATH, Linux 5.6 and later), or one part at a time, each
// opened relative to the folder before it and never through a link (where the kernel has no openat2).
enum class Resolution { Kernel, Walk };

// The release folder on a posix host: every file of it is opened relative to the folder's descriptor.
class PosixReleaseFolder final : public ReleaseFolder {
  public:
    // Throws ReadError with the system's reason.
    explicit PosixReleaseFolder(const std::filesystem::path& path, Resolution resolution = Resolution::Kernel);

    // Opens a file for reading by its path relative to the folder, without blocking on a FIFO. Kernel
    // resolution falls back to the walk where the system lacks openat2. Throws ReadError for a path that
    // leaves the folder, by ".." or through a link, or that names the folder itself.
    UniqueFd Open(const std::string& path) const;

    // Reads a whole regular file of at most `limit` bytes (ReadOpenFile). Throws ReadError.
    std::vector<std::uint8_t> Read(const std::string& path,
                                   std::uint64_t limit,
                                   const std::string& limitText) const override;

  private:
    UniqueFd OpenByKernel(const std::string& path) const;
    UniqueFd OpenByWalk(const std::string& path) const;
    [[noreturn]] void Escaped(const std::string& path) const;

    std::filesystem::path path_;  // the real path, for messages alone
    UniqueFd folder_;
    Resolution resolution_;
};

}  // namespace patcher::patchkit

#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace patcher::patchkit {

// Why an input could not be read, in the system's words or ours ("not a regular file"); the caller's message
// names the input as the maintainer gave it.
class ReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a whole regular file of at most `limit` bytes from an open descriptor, whose type and size are taken
// from the descriptor itself: a device (/dev/zero), a folder, a FIFO or a socket is refused unread, and a file
// that grows past the limit while it is read is refused too. The refusal of a large file reads "N bytes, more
// than the LIMIT " followed by `limitText`; a file too large for the memory left says so with its size.
// Throws ReadError.
std::vector<std::uint8_t> ReadOpenFile(int fd, std::uint64_t limit, const std::string& limitText);

// The same for a path, opened without blocking, so that a FIFO is refused rather than waited on.
std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path,
                                          std::uint64_t limit,
                                          const std::string& limitText);

// Whether `name` in the open folder `folder` is a symbolic link (not what it leads to).
bool IsLinkAt(int folder, const std::string& name);

// Whether two paths name one existing file (one device and inode: also through links).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The real path of something that may not exist yet: the path made absolute, with every link on the way
// resolved, also a link that leads to nothing yet (whose target is then the place meant), and the rest of the
// path after the deepest existing part. Throws ReadError with the system's reason.
std::filesystem::path RealPath(const std::filesystem::path& path);

// Whether `inner` is `outer` or lies below it (both absolute and normal).
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);

}  // namespace patcher::patchkit

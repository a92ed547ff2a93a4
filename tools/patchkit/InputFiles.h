#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace patcher::patchkit {

// The inputs of the commands as this host's file layer reads them (posix/ and win32/ implement it), and the
// real places of what a command reads and writes. On Windows, a path may be as long as the W functions allow
// (it reaches them with the "\\?\" prefix) and two paths name one place whatever the case of their letters.

// Why an input could not be read, in the system's words or ours ("not a regular file"); the caller's message
// names the input as the maintainer gave it.
class ReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a whole regular file of at most `limit` bytes, whose type and size are taken from the opened file
// itself: a device, a folder, a FIFO or a pipe is refused unread (never waited on), and a file that grows past
// the limit while it is read is refused too (ReadWholeFile words the refusal). Throws ReadError.
std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path,
                                          std::uint64_t limit,
                                          const std::string& limitText);

// Whether two paths name one existing file (also through links).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The real path of something that may not exist yet: the path made absolute, with every link on the way
// resolved, also a link that leads to nothing yet (whose target is then the place meant), and the rest of the
// path after the deepest existing part. On Windows, the final path that the system gives the deepest existing
// part. Throws ReadError with the system's reason.
std::filesystem::path RealPath(const std::filesystem::path& path);

// The real path of something that exists. Throws ReadError with the system's reason, "No such file or
// directory" among them.
std::filesystem::path ExistingRealPath(const std::filesystem::path& path);

// What is at a path, links followed.
enum class PathKind { Missing, Folder, Other };
// Throws ReadError where the system cannot tell.
PathKind KindAt(const std::filesystem::path& path);

// Whether `inner` is `outer` or lies below it (both real paths), the names compared as the host's file system
// compares them: byte for byte on Linux, without regard to case on Windows.
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);

}  // namespace patcher::patchkit

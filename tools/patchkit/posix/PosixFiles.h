#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace patcher::patchkit {

// What the posix file layer does with descriptors, beside what InputFiles.h promises on every host.

// Reads a whole regular file of at most `limit` bytes from an open descriptor, as ReadRegularFile does. Throws
// ReadError.
std::vector<std::uint8_t> ReadOpenFile(int fd, std::uint64_t limit, const std::string& limitText);

// Whether `name` in the open folder `folder` is a symbolic link (not what it leads to).
bool IsLinkAt(int folder, const std::string& name);

}  // namespace patcher::patchkit

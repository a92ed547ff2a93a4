#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace patcher::patchkit {

// The reading of a whole input that every host's file layer shares, once it has opened the input and found it
// a regular file of `size` bytes. `read` puts the next bytes of the file into the span that it is given and
// answers how many, 0 at the end; it throws ReadError. At most `limit` bytes are read: a file larger than that,
// or one that grows past it while it is read, is refused ("N bytes, more than the LIMIT " and `limitText`), and
// a file too large for the memory left says so with its size. Throws ReadError.
std::vector<std::uint8_t> ReadWholeFile(std::uint64_t size,
                                        std::uint64_t limit,
                                        const std::string& limitText,
                                        const std::function<std::size_t(std::span<std::uint8_t>)>& read);

}  // namespace patcher::patchkit

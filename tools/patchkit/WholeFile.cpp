#include "tools/patchkit/WholeFile.h"

#include <algorithm>
#include <new>

#include "tools/patchkit/InputFiles.h"

namespace patcher::patchkit {
namespace {

ReadError TooLarge(std::uint64_t bytes, std::uint64_t limit, const std::string& limitText) {
    return ReadError(std::to_string(bytes) + " bytes, more than the " + std::to_string(limit) + " " + limitText);
}

std::vector<std::uint8_t> ReadAll(std::uint64_t size,
                                  std::uint64_t limit,
                                  const std::string& limitText,
                                  const std::function<std::size_t(std::span<std::uint8_t>)>& read) {
    // One byte more than the size, to see a file that grew meanwhile.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) + 1);
    std::size_t done = 0;
    while (true) {
        if (done == bytes.size()) {
            if (done > limit) {
                throw TooLarge(done, limit, limitText);
            }
            bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit + 1, 2 * bytes.size())));
        }
        const std::size_t got = read(std::span(bytes).subspan(done));
        if (got == 0) {
            break;
        }
        done += got;
    }
    if (done > limit) {
        throw TooLarge(done, limit, limitText);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(std::uint64_t size,
                                        std::uint64_t limit,
                                        const std::string& limitText,
                                        const std::function<std::size_t(std::span<std::uint8_t>)>& read) {
    if (size > limit) {
        throw TooLarge(size, limit, limitText);
    }
    try {
        return ReadAll(size, limit, limitText, read);
    } catch (const std::bad_alloc&) {
        throw ReadError("out of memory for its " + std::to_string(size) + " bytes");
    }
}

}  // namespace patcher::patchkit

#include "tools/pe/PeChecksum.h"

#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::pe {

std::uint32_t PeChecksum(std::span<const std::uint8_t> image) {
    const std::size_t field = PeReader(image).Places().Optional + optional::kCheckSum;
    const auto byte = [&](std::size_t at) -> std::uint32_t {
        return at >= image.size() || (at >= field && at < field + 4) ? 0 : image[at];
    };
    // Folding after every word keeps the sum within 17 bits, whatever the file's length. A file of odd length
    // ends in half a word.
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < image.size(); at += 2) {
        sum += byte(at) | byte(at + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(image.size());
}

}  // namespace patcher::pe

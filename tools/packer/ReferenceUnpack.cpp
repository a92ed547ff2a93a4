#include "tools/packer/ReferenceUnpack.h"

#include <algorithm>
#include <array>
#include <utility>

#include "engine/UDer.h"

namespace patcher::packer {
namespace {

class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    unsigned ReadBit() {
        if (position_ >= bytes_.size()) {
            throw UnpackError("the packed data ends inside a field");
        }
        --bitsLeft_;
        const unsigned bit = (bytes_[position_] >> bitsLeft_) & 1u;
        if (bitsLeft_ == 0) {
            bitsLeft_ = 8;
            ++position_;
        }
        return bit;
    }

    std::uint32_t Read(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            value = value * 2 + ReadBit();
        }
        return value;
    }

    std::uint32_t ReadLittleEndian32() {
        if (bitsLeft_ != 8) {
            bitsLeft_ = 8;
            ++position_;
        }
        if (position_ > bytes_.size() || bytes_.size() - position_ < 4) {
            throw UnpackError("the packed data ends before the intermediate length");
        }
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value = value << 8 | bytes_[position_ + static_cast<std::size_t>(i)];
        }
        position_ += 4;
        return value;
    }

    std::size_t BitsRemaining() const {
        return (bytes_.size() - position_) * 8 - static_cast<std::size_t>(8 - bitsLeft_);
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    int bitsLeft_ = 8;
};

}  // namespace

std::vector<std::uint8_t> ReferenceUnpack(std::span<const std::uint8_t> packed) {
    BitReader bits(packed);
    std::array<CodeEntry, 256> entries{};
    std::size_t count = 0;
    for (unsigned symbol = 0; symbol < 256; ++symbol) {
        if (bits.ReadBit() == 0) {
            continue;
        }
        const std::uint32_t length = bits.Read(4);
        CodeEntry& entry = entries[count++];
        entry.Length = static_cast<std::uint8_t>(length == 0 ? 16 : length);
        entry.Code = static_cast<std::uint16_t>(bits.Read(entry.Length));
        entry.Symbol = static_cast<std::uint8_t>(symbol);
    }
    if (count < 2) {
        throw UnpackError("the code table has fewer than two entries");
    }
    for (std::size_t pass = 0; pass + 1 < count; ++pass) {
        for (std::size_t j = 0; j + 1 < count; ++j) {
            if (entries[j].Length > entries[j + 1].Length) {
                std::swap(entries[j], entries[j + 1]);
            }
        }
    }

    const std::uint32_t length = bits.ReadLittleEndian32();
    if (length == 0) {
        throw UnpackError("the intermediate length is 0");
    }
    std::vector<std::uint8_t> intermediate;
    intermediate.reserve(std::min<std::size_t>(length, bits.BitsRemaining()));
    while (intermediate.size() < length) {
        unsigned current = entries[0].Length;
        std::uint32_t value = bits.Read(static_cast<int>(current));
        std::size_t k = 0;
        while (entries[k].Code != value) {
            if (++k == count) {
                throw UnpackError("a code in the packed data matches no entry of its table");
            }
            while (current != entries[k].Length) {
                value = value * 2 + bits.ReadBit();
                ++current;
            }
        }
        intermediate.push_back(entries[k].Symbol);
    }

    std::vector<std::uint8_t> output;
    output.reserve(std::min<std::size_t>(UnpackCapacity, 2 * intermediate.size()));
    std::size_t at = 0;
    while (at < intermediate.size()) {
        const unsigned token = intermediate[at++];
        if (token >= 0x80) {
            const std::size_t run = (token & 0x7F) + 1;
            if (intermediate.size() - at < run) {
                throw UnpackError("a literal run goes past the end of the intermediate string");
            }
            if (output.size() + run > UnpackCapacity) {
                throw UnpackError("the unpacked data would exceed 2,097,152 bytes");
            }
            output.insert(output.end(), intermediate.begin() + static_cast<std::ptrdiff_t>(at),
                          intermediate.begin() + static_cast<std::ptrdiff_t>(at + run));
            at += run;
            continue;
        }
        if (at == intermediate.size()) {
            throw UnpackError("a copy token is cut off by the end of the intermediate string");
        }
        const std::size_t copyLength = (token >> 4) + 3;
        const std::size_t distance = std::size_t{token & 0x0F} * 256 + intermediate[at++];
        if (distance == 0) {
            throw UnpackError("a copy has distance 0");
        }
        if (distance > output.size()) {
            throw UnpackError("a copy reaches before the start of the output");
        }
        if (output.size() + copyLength > UnpackCapacity) {
            throw UnpackError("the unpacked data would exceed 2,097,152 bytes");
        }
        for (std::size_t i = 0; i < copyLength; ++i) {
            output.push_back(output[output.size() - distance]);
        }
    }
    return output;
}

}  // namespace patcher::packer

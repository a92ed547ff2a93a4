#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <vector>

namespace patcher::testing {

// One stored code: the low Length bits of Value, first bit sent = most significant.
struct StoredCode {
    int Length = 0;  // 1..16
    std::uint16_t Value = 0;
};

// Writes packed streams bit by bit, most significant bit first, so that tests can build any stream by hand:
// well-formed ones with unusual tables and every kind of broken one.
class PackedStreamBuilder {
  public:
    void Bits(std::uint32_t value, int count) {
        if (filled_ == 0 && count == 8) {
            bytes_.push_back(static_cast<std::uint8_t>(value));
            return;
        }
        for (int i = count - 1; i >= 0; --i) {
            if (filled_ == 0) {
                bytes_.push_back(0);
            }
            bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | ((value >> i) & 1u) << (7 - filled_));
            filled_ = (filled_ + 1) % 8;
        }
    }

    // The 256 records of the code table; a length of 16 is stored as 0.
    void Table(const std::map<std::uint8_t, StoredCode>& codes) {
        for (int symbol = 0; symbol < 256; ++symbol) {
            const auto found = codes.find(static_cast<std::uint8_t>(symbol));
            if (found == codes.end()) {
                Bits(0, 1);
                continue;
            }
            Bits(1, 1);
            Bits(static_cast<std::uint32_t>(found->second.Length & 0x0F), 4);
            Bits(found->second.Value, found->second.Length);
        }
    }

    // Completes the current byte with the given fill bit (free in the format).
    void Fill(unsigned bit) {
        while (filled_ != 0) {
            Bits(bit, 1);
        }
    }

    void Length(std::uint32_t count) {
        if (filled_ != 0) {
            throw std::logic_error("the intermediate length starts on a byte boundary");
        }
        for (int i = 0; i < 4; ++i) {
            bytes_.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
        }
    }

    void Symbols(const std::map<std::uint8_t, StoredCode>& codes, const std::vector<std::uint8_t>& symbols) {
        for (const std::uint8_t symbol : symbols) {
            const StoredCode& code = codes.at(symbol);
            Bits(code.Value, code.Length);
        }
    }

    std::size_t BitCount() const { return bytes_.size() * 8 - (filled_ == 0 ? 0 : 8 - filled_); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    int filled_ = 0;  // bits used in the last byte, 0 when it is complete
};

// A whole stream: table, fill bits, L = number of symbols, the symbols, then the tail bits and bytes.
inline std::vector<std::uint8_t> BuildStream(const std::map<std::uint8_t, StoredCode>& codes,
                                             const std::vector<std::uint8_t>& symbols,
                                             unsigned fillBit = 1,
                                             const std::vector<std::uint8_t>& tail = {}) {
    PackedStreamBuilder stream;
    stream.Table(codes);
    stream.Fill(fillBit);
    stream.Length(static_cast<std::uint32_t>(symbols.size()));
    stream.Symbols(codes, symbols);
    stream.Fill(fillBit);
    std::vector<std::uint8_t> bytes = stream.Bytes();
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// Every byte value with the 8-bit code equal to itself: the symbols cost a byte each, so that any
// intermediate string can be put through the Huffman stage unchanged.
inline std::map<std::uint8_t, StoredCode> FlatCodes() {
    std::map<std::uint8_t, StoredCode> codes;
    for (int symbol = 0; symbol < 256; ++symbol) {
        codes[static_cast<std::uint8_t>(symbol)] = {8, static_cast<std::uint16_t>(symbol)};
    }
    return codes;
}

inline std::vector<std::uint8_t> FlatStream(const std::vector<std::uint8_t>& intermediate) {
    return BuildStream(FlatCodes(), intermediate);
}

}  // namespace patcher::testing

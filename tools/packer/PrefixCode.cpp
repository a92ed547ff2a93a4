#include "tools/packer/PrefixCode.h"

#include <algorithm>
#include <stdexcept>

namespace patcher::packer {
namespace {

// An item of one package-merge level: a symbol, or a package of two items of the level before.
struct Item {
    std::uint64_t Weight = 0;
    int Symbol = -1;
    std::size_t First = 0;
};

void CountLeaves(const std::vector<std::vector<Item>>& levels,
                 std::size_t level,
                 std::size_t index,
                 std::array<std::uint8_t, 256>& lengths) {
    const Item& item = levels[level][index];
    if (item.Symbol >= 0) {
        ++lengths[static_cast<std::size_t>(item.Symbol)];
        return;
    }
    CountLeaves(levels, level - 1, item.First, lengths);
    CountLeaves(levels, level - 1, item.First + 1, lengths);
}

// Assigns codes in order of length, then byte value.
void AssignCodes(PrefixCode& code) {
    unsigned next = 0;
    unsigned previousLength = 0;
    for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
        for (std::size_t symbol = 0; symbol < 256; ++symbol) {
            if (code.Lengths[symbol] != length) {
                continue;
            }
            next <<= (length - previousLength);
            previousLength = length;
            code.Codes[symbol] = static_cast<std::uint16_t>(next++);
        }
    }
}

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Write(std::uint32_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) {
            pending_ = static_cast<std::uint8_t>(static_cast<unsigned>(pending_) << 1 | ((value >> i) & 1u));
            if (++filled_ == 8) {
                out_.push_back(pending_);
                filled_ = 0;
                pending_ = 0;
            }
        }
    }

    // Completes a partly written byte with zero bits.
    void Flush() {
        if (filled_ != 0) {
            out_.push_back(static_cast<std::uint8_t>(pending_ << (8 - filled_)));
            filled_ = 0;
            pending_ = 0;
        }
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t pending_ = 0;
    unsigned filled_ = 0;
};

}  // namespace

PrefixCode BuildPrefixCode(const SymbolCounts& counts) {
    std::vector<Item> leaves;
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
        if (counts[symbol] != 0) {
            leaves.push_back({counts[symbol], static_cast<int>(symbol), 0});
        }
    }
    PrefixCode code;
    if (leaves.empty()) {
        throw std::invalid_argument("a prefix code needs at least one symbol");
    }
    if (leaves.size() == 1) {
        const auto symbol = static_cast<std::size_t>(leaves[0].Symbol);
        code.Lengths[symbol] = 1;
        code.Lengths[symbol == 0 ? 1 : 0] = 1;
        AssignCodes(code);
        return code;
    }
    std::stable_sort(leaves.begin(), leaves.end(), [](const Item& a, const Item& b) { return a.Weight < b.Weight; });

    std::vector<std::vector<Item>> levels{leaves};
    for (int level = 1; level < kMaxCodeLength; ++level) {
        const std::vector<Item>& previous = levels.back();
        std::vector<Item> packages;
        for (std::size_t i = 0; i + 1 < previous.size(); i += 2) {
            packages.push_back({previous[i].Weight + previous[i + 1].Weight, -1, i});
        }
        std::vector<Item> merged;
        merged.reserve(leaves.size() + packages.size());
        std::merge(leaves.begin(), leaves.end(), packages.begin(), packages.end(), std::back_inserter(merged),
                   [](const Item& a, const Item& b) { return a.Weight < b.Weight; });
        levels.push_back(std::move(merged));
    }
    for (std::size_t i = 0; i < 2 * leaves.size() - 2; ++i) {
        CountLeaves(levels, levels.size() - 1, i, code.Lengths);
    }
    AssignCodes(code);
    return code;
}

SymbolCounts CountSymbols(std::span<const std::uint8_t> symbols) {
    SymbolCounts counts{};
    for (const std::uint8_t symbol : symbols) {
        ++counts[symbol];
    }
    return counts;
}

std::uint64_t TableBits(const PrefixCode& code) {
    std::uint64_t bits = 0;
    for (const std::uint8_t length : code.Lengths) {
        bits += length == 0 ? 1 : 1 + 4 + length;
    }
    return bits;
}

std::uint64_t PackedSize(const PrefixCode& code, const SymbolCounts& counts) {
    std::uint64_t symbolBits = 0;
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
        symbolBits += counts[symbol] * code.Lengths[symbol];
    }
    return (TableBits(code) + 7) / 8 + 4 + (symbolBits + 7) / 8;
}

std::vector<std::uint8_t> WritePackedStream(const PrefixCode& code, std::span<const std::uint8_t> intermediate) {
    std::vector<std::uint8_t> out;
    BitWriter bits(out);
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
        const unsigned length = code.Lengths[symbol];
        if (length == 0) {
            bits.Write(0, 1);
            continue;
        }
        bits.Write(1, 1);
        bits.Write(length & 0x0F, 4);  // 16 is stored as 0
        bits.Write(code.Codes[symbol], length);
    }
    bits.Flush();
    const auto count = static_cast<std::uint32_t>(intermediate.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    }
    for (const std::uint8_t symbol : intermediate) {
        if (code.Lengths[symbol] == 0) {
            throw std::invalid_argument("a symbol of the intermediate string has no code");
        }
        bits.Write(code.Codes[symbol], code.Lengths[symbol]);
    }
    bits.Flush();
    return out;
}

}  // namespace patcher::packer

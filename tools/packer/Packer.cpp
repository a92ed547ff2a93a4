#include "tools/packer/Packer.h"

#include <algorithm>
#include <string>

#include "engine/UDer.h"
#include "tools/packer/FixedLog2.h"
#include "tools/packer/Parse.h"
#include "tools/packer/PrefixCode.h"

namespace patcher::packer {
namespace {

constexpr int kEntropyPasses = 4;
constexpr int kCodePasses = 2;
constexpr std::uint64_t kSmallGain = 2000;  // a pass that gains less than 1/2000 of the size ends a series

// A price from bits in units of 2^-kLog2FractionBits, rounded to the nearest sixteenth of a bit (halves up).
std::uint32_t ToPrice(std::uint64_t fixedBits) {
    constexpr int kDropped = kLog2FractionBits - 4;
    static_assert(kPriceScale == 1u << 4);
    const std::uint64_t price = (fixedBits + (std::uint64_t{1} << (kDropped - 1))) >> kDropped;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(kMaxPrice, price));
}

// Prices from how often each byte value occurs: the bits an ideal code would spend on it, log2(total / count).
// A value that does not occur is priced as rarer than any that does. No floating point: the prices decide
// the parse, and a libm that rounded one of them the other way would change the packed bytes.
Prices EntropyPrices(const SymbolCounts& counts) {
    std::uint64_t total = 0;
    for (const std::uint64_t count : counts) {
        total += count;
    }
    const std::uint64_t totalLog = FixedLog2(total);
    Prices prices{};
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
        prices[symbol] = ToPrice(counts[symbol] != 0 ? totalLog - FixedLog2(counts[symbol])
                                                     : totalLog + (std::uint64_t{2} << kLog2FractionBits));
    }
    return prices;
}

// Prices from the lengths of a code: exactly what a parse costs under it.
Prices CodePrices(const PrefixCode& code) {
    const unsigned longest = *std::max_element(code.Lengths.begin(), code.Lengths.end());
    Prices prices{};
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
        const unsigned bits = code.Lengths[symbol] != 0 ? code.Lengths[symbol] : longest + 2;
        prices[symbol] = std::min(kMaxPrice, bits * kPriceScale);
    }
    return prices;
}

struct Candidate {
    std::vector<std::uint8_t> Tokens;
    SymbolCounts Counts{};
    PrefixCode Code;
    std::uint64_t Size = 0;
};

Candidate Evaluate(std::vector<std::uint8_t> tokens) {
    Candidate candidate;
    candidate.Counts = CountSymbols(tokens);
    candidate.Code = BuildPrefixCode(candidate.Counts);
    candidate.Size = PackedSize(candidate.Code, candidate.Counts);
    candidate.Tokens = std::move(tokens);
    return candidate;
}

}  // namespace

std::vector<std::uint8_t> Pack(std::span<const std::uint8_t> data, ParseMethod method) {
    if (data.empty()) {
        throw PackError("the input is empty, and a packed stream holds at least one byte");
    }
    if (data.size() > static_cast<std::size_t>(UnpackCapacity)) {
        throw PackError("the input has " + std::to_string(data.size()) +
                        " bytes, more than the 2097152 that one packed stream may unpack to");
    }
    Candidate best = Evaluate(GreedyParse(data));
    if (method == ParseMethod::Optimal) {
        // Each pass prices the symbols by the best parse so far. Entropy prices first move the parse towards
        // a skewed symbol distribution, until a pass gains little; code prices then make a pass exact for the
        // code it is priced by, and settle what the integer code lengths favour.
        for (int pass = 0; pass < kEntropyPasses; ++pass) {
            Candidate next = Evaluate(OptimalParse(data, EntropyPrices(best.Counts)));
            if (next.Size >= best.Size) {
                break;
            }
            const std::uint64_t gain = best.Size - next.Size;
            best = std::move(next);
            if (gain * kSmallGain < best.Size) {
                break;
            }
        }
        for (int pass = 0; pass < kCodePasses; ++pass) {
            Candidate next = Evaluate(OptimalParse(data, CodePrices(best.Code)));
            if (next.Size >= best.Size) {
                break;
            }
            best = std::move(next);
        }
    }
    return WritePackedStream(best.Code, best.Tokens);
}

}  // namespace patcher::packer

#include "tools/packer/Parse.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "tools/packer/MatchFinder.h"

namespace patcher::packer {
namespace {

constexpr std::size_t kMaxRun = 128;
constexpr std::size_t kCopyLengths = kMaxCopy - kMinCopy + 1;

// Chain positions looked at one by one per position: all of the window in ordinary data (a run of one byte
// value counts as one step). Short periodic patterns and data of very few byte values make long chains. In
// the first the optimal parse looks at kCrowdedChainSteps more after a whole-length copy from within
// kShortPeriod; once it has spent kStepsPerByte per byte on average, it looks at kCrowdedChainSteps and on
// only until it has a whole-length copy, as the greedy parse does (but at most kCrowdedMaxSteps).
constexpr int kMaxChainSteps = 2048;
constexpr int kCrowdedChainSteps = 32;
constexpr int kCrowdedMaxSteps = 64;
constexpr std::size_t kShortPeriod = 8;
constexpr std::uint64_t kStepsPerByte = 128;
constexpr std::uint64_t kStepsAhead = std::uint64_t{1} << 22;

void AppendLiterals(std::vector<std::uint8_t>& tokens, std::span<const std::uint8_t> literals) {
    while (!literals.empty()) {
        const std::size_t run = std::min(literals.size(), kMaxRun);
        tokens.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
        tokens.insert(tokens.end(), literals.begin(), literals.begin() + static_cast<std::ptrdiff_t>(run));
        literals = literals.subspan(run);
    }
}

std::uint8_t CopyToken(std::size_t length, std::size_t distance) {
    return static_cast<std::uint8_t>((length - kMinCopy) << 4 | distance >> 8);
}

void AppendCopy(std::vector<std::uint8_t>& tokens, std::size_t length, std::size_t distance) {
    tokens.push_back(CopyToken(length, distance));
    tokens.push_back(static_cast<std::uint8_t>(distance & 0xFF));
}

// Eight 16-bit lanes, one per copy length (lane k for length k + 3), so that a copy is priced, compared and
// kept for all its lengths in a few vector instructions. Copy prices (at most 2 * kMaxPrice) and distances
// fit in the lanes.
using Lanes = std::int16_t __attribute__((vector_size(16)));
static_assert(kCopyLengths == 8 && 2 * kMaxPrice < 32767);

constexpr Lanes Broadcast(std::int16_t value) {
    return Lanes{} + value;
}

// The cheapest copy of each length found so far at one position.
struct CopyChoice {
    Lanes Price{};
    Lanes Distance{};
    std::size_t Longest = 0;

    void Clear() {
        Price = Broadcast(std::numeric_limits<std::int16_t>::max());
        Longest = 0;
    }
};

// The price of every copy under one set of prices: the token byte's (by length and distance bits 11..8) plus
// the distance byte's, and the cheapest distance of any distance range, for the copies out of a run.
class CopyPrices {
  public:
    explicit CopyPrices(const Prices& prices) {
        for (std::size_t low = 0; low < 256; ++low) {
            low_[low] = static_cast<std::int16_t>(prices[low]);
        }
        for (std::size_t high = 0; high < 16; ++high) {
            for (std::size_t length = kMinCopy; length <= kMaxCopy; ++length) {
                token_[high][length - kMinCopy] = static_cast<std::int16_t>(prices[CopyToken(length, high << 8)]);
            }
        }
        for (std::size_t longest = 0; longest <= kMaxCopy; ++longest) {
            for (std::size_t length = kMinCopy; length <= kMaxCopy; ++length) {
                upTo_[longest][length - kMinCopy] = length <= longest ? -1 : 0;
            }
        }
        // levels_[k][d]: the cheapest of the distances d .. d + 2^k - 1, per length.
        levels_.resize(kLevels);
        for (std::size_t distance = 1; distance <= kMaxDistance; ++distance) {
            levels_[0][distance] = {Of(distance), Broadcast(static_cast<std::int16_t>(distance))};
        }
        // beyond_[d]: the cheapest price of any distance from d on, per length.
        beyond_.resize(kMaxDistance + 2);
        beyond_[kMaxDistance + 1] = Broadcast(std::numeric_limits<std::int16_t>::max());
        for (std::size_t distance = kMaxDistance; distance >= 1; --distance) {
            const Lanes price = Of(distance);
            const Lanes cheaper = price < beyond_[distance + 1];
            beyond_[distance] = cheaper ? price : beyond_[distance + 1];
        }
        for (std::size_t level = 1; level < kLevels; ++level) {
            const std::size_t half = std::size_t{1} << (level - 1);
            for (std::size_t distance = 1; distance + 2 * half - 1 <= kMaxDistance; ++distance) {
                levels_[level][distance] = Cheaper(levels_[level - 1][distance], levels_[level - 1][distance + half]);
            }
        }
    }

    // Offers a copy from `distance` that matches `longest` bytes, for every length it allows.
    void Offer(CopyChoice& choice, std::size_t distance, std::size_t longest) const {
        Keep(choice, {Of(distance), Broadcast(static_cast<std::int16_t>(distance))}, longest);
    }

    // Offers every distance from `nearest` to `farthest`, each matching `longest` bytes.
    void OfferRange(CopyChoice& choice, std::size_t nearest, std::size_t farthest, std::size_t longest) const {
        const auto level = static_cast<std::size_t>(std::bit_width(farthest - nearest + 1) - 1);
        const std::size_t span = std::size_t{1} << level;
        Keep(choice, Cheaper(levels_[level][nearest], levels_[level][farthest - span + 1]), longest);
    }

    // Whether no distance from `distance` on can be cheaper, for any length up to `limit`, than the choice.
    bool Settled(const CopyChoice& choice, std::size_t distance, std::size_t limit) const {
        const Lanes open = (beyond_[distance] < choice.Price) & upTo_[limit];
        std::int64_t halves[2];
        std::memcpy(halves, &open, sizeof halves);
        return (halves[0] | halves[1]) == 0;
    }

  private:
    static constexpr std::size_t kLevels = 12;  // 2^12 > kMaxDistance

    struct Priced {
        Lanes Price{};
        Lanes Distance{};
    };

    Lanes Of(std::size_t distance) const { return token_[distance >> 8] + low_[distance & 0xFF]; }

    static Priced Cheaper(const Priced& a, const Priced& b) {
        const Lanes takeB = b.Price < a.Price;
        return {takeB ? b.Price : a.Price, takeB ? b.Distance : a.Distance};
    }

    void Keep(CopyChoice& choice, const Priced& offer, std::size_t longest) const {
        const Lanes cheaper = (offer.Price < choice.Price) & upTo_[longest];
        choice.Price = cheaper ? offer.Price : choice.Price;
        choice.Distance = cheaper ? offer.Distance : choice.Distance;
        choice.Longest = std::max(choice.Longest, longest);
    }

    std::array<std::int16_t, 256> low_{};
    std::array<Lanes, 16> token_{};
    std::array<Lanes, kMaxCopy + 1> upTo_{};
    std::vector<std::array<Priced, kMaxDistance + 1>> levels_;
    std::vector<Lanes> beyond_;
};

// For each position, where the run of equal bytes around it ends (exclusive).
std::vector<std::uint32_t> RunEnds(std::span<const std::uint8_t> data) {
    std::vector<std::uint32_t> ends(data.size());
    for (std::size_t i = data.size(); i-- > 0;) {
        ends[i] = i + 1 < data.size() && data[i + 1] == data[i] ? ends[i + 1] : static_cast<std::uint32_t>(i + 1);
    }
    return ends;
}

// Finds, for one position, the cheapest copy of each length among all the window offers. A chain position
// inside a run of the byte that also starts at j stands for the whole run before it: every position of the
// run that is followed by more of the run than j is matches exactly as many bytes as j's own run, so those
// distances form one range, priced at once.
int FindCopies(const MatchFinder& finder,
               std::span<const std::uint8_t> data,
               const std::vector<std::uint32_t>& runEnds,
               const std::vector<std::uint32_t>& runStarts,
               const CopyPrices& prices,
               std::size_t j,
               bool crowded,
               CopyChoice& choice) {
    choice.Clear();
    std::int32_t candidate = finder.First(j);
    const std::size_t ownRun = std::min<std::size_t>(runEnds[j] - j, kMaxCopy);
    const std::size_t limit = std::min(kMaxCopy, data.size() - j);
    int maxSteps = kMaxChainSteps;
    int steps = 0;
    for (; candidate != MatchFinder::kNone && steps < maxSteps; ++steps) {
        if (crowded && steps >= kCrowdedChainSteps && (choice.Longest == limit || steps >= kCrowdedMaxSteps)) {
            break;
        }
        const auto from = static_cast<std::size_t>(candidate);
        const std::size_t distance = j - from;
        if (distance > kMaxDistance) {
            break;
        }
        // Farther distances only cost more when none beyond this one is cheaper (looked at now and then).
        if (steps % 8 == 7 && prices.Settled(choice, distance, limit)) {
            break;
        }
        if (ownRun >= kMinCopy && data[from] == data[j] && runEnds[from] - from > ownRun) {
            const std::size_t start = runStarts[from];
            const std::size_t farthest = std::min(j - start, kMaxDistance);
            prices.OfferRange(choice, distance, farthest, ownRun);
            if (farthest == kMaxDistance) {
                break;
            }
            candidate = finder.Next(static_cast<std::int32_t>(start));
            continue;
        }
        const std::size_t length = finder.MatchLength(from, j);
        if (length >= kMinCopy) {
            prices.Offer(choice, distance, length);
            // A whole-length copy from close by: a short periodic pattern, whose chain holds every period
            // back; the nearest of them will do.
            if (length == limit && distance <= kShortPeriod) {
                maxSteps = std::min(maxSteps, steps + kCrowdedChainSteps);
            }
        }
        candidate = finder.Next(candidate);
    }
    return steps;
}

// How the cheapest path reaches a position: a copy (distance, length) or a literal run (distance 0).
struct Step {
    std::uint16_t Distance = 0;
    std::uint8_t Length = 0;
};

}  // namespace

std::vector<std::uint8_t> GreedyParse(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> tokens;
    MatchFinder finder(data);
    std::size_t literalStart = 0;
    std::size_t position = 0;
    while (position < data.size()) {
        std::size_t bestLength = 0;
        std::size_t bestDistance = 0;
        int steps = 0;
        finder.ForEachMatch(position, finder.First(position), [&](std::size_t distance, std::size_t length) {
            if (length > bestLength) {
                bestLength = length;
                bestDistance = distance;
            }
            return bestLength < kMaxCopy && ++steps < kMaxChainSteps;
        });
        if (bestLength < kMinCopy) {
            finder.Insert(position++);
            continue;
        }
        AppendLiterals(tokens, data.subspan(literalStart, position - literalStart));
        AppendCopy(tokens, bestLength, bestDistance);
        for (std::size_t i = 0; i < bestLength; ++i) {
            finder.Insert(position++);
        }
        literalStart = position;
    }
    AppendLiterals(tokens, data.subspan(literalStart));
    return tokens;
}

std::vector<std::uint8_t> OptimalParse(std::span<const std::uint8_t> data, const Prices& prices) {
    const std::size_t size = data.size();
    Prices capped = prices;
    for (std::uint32_t& price : capped) {
        price = std::min(price, kMaxPrice);
    }
    // cost[j]: the cheapest price of the first j bytes. A literal run from i to j costs its header plus
    // literalPrefix[j] - literalPrefix[i]; runBase[i] = cost[i] - literalPrefix[i] makes the best run into j a
    // plain minimum. With at most kMaxPrice per symbol, the sums over 2 MiB fit in 32 bits.
    std::vector<std::int32_t> cost(size + 1, std::numeric_limits<std::int32_t>::max());
    std::vector<std::int32_t> literalPrefix(size + 1, 0);
    std::vector<std::int32_t> runBase(size + 1, 0);
    std::vector<Step> steps(size + 1);
    for (std::size_t i = 0; i < size; ++i) {
        literalPrefix[i + 1] = literalPrefix[i] + static_cast<std::int32_t>(capped[data[i]]);
    }
    std::array<std::int32_t, kMaxRun + 1> header{};
    for (std::size_t run = 1; run <= kMaxRun; ++run) {
        header[run] = static_cast<std::int32_t>(capped[0x80 + run - 1]);
    }

    const auto copyPrices = std::make_unique<CopyPrices>(capped);
    const std::vector<std::uint32_t> runEnds = RunEnds(data);
    std::vector<std::uint32_t> runStarts(size);
    for (std::size_t i = 0; i < size; ++i) {
        runStarts[i] = i > 0 && data[i - 1] == data[i] ? runStarts[i - 1] : static_cast<std::uint32_t>(i);
    }
    MatchFinder finder(data);
    CopyChoice choice;
    std::uint64_t chainSteps = 0;

    cost[0] = 0;
    for (std::size_t j = 0; j <= size; ++j) {
        if (j > 0) {
            const std::size_t longest = std::min(j, kMaxRun);
            std::int32_t best = std::numeric_limits<std::int32_t>::max();
            for (std::size_t run = 1; run <= longest; ++run) {
                best = std::min(best, runBase[j - run] + header[run]);
            }
            if (best + literalPrefix[j] < cost[j]) {
                cost[j] = best + literalPrefix[j];
                std::size_t run = 1;
                while (runBase[j - run] + header[run] != best) {
                    ++run;
                }
                steps[j] = {0, static_cast<std::uint8_t>(run)};
            }
            runBase[j] = cost[j] - literalPrefix[j];
        }
        if (j == size) {
            break;
        }
        const bool crowded = chainSteps > kStepsPerByte * j + kStepsAhead;
        chainSteps +=
            static_cast<std::uint64_t>(FindCopies(finder, data, runEnds, runStarts, *copyPrices, j, crowded, choice));
        finder.Insert(j);
        for (std::size_t length = kMinCopy; length <= choice.Longest; ++length) {
            const std::int32_t price = cost[j] + choice.Price[length - kMinCopy];
            if (price < cost[j + length]) {
                cost[j + length] = price;
                steps[j + length] = {static_cast<std::uint16_t>(choice.Distance[length - kMinCopy]),
                                     static_cast<std::uint8_t>(length)};
            }
        }
    }

    // Walk back from the end, then emit the steps front to back.
    std::vector<Step> path;
    for (std::size_t j = size; j > 0; j -= steps[j].Length) {
        path.push_back(steps[j]);
    }
    std::vector<std::uint8_t> tokens;
    tokens.reserve(size + size / 64 + 16);
    std::size_t position = 0;
    for (auto step = path.rbegin(); step != path.rend(); ++step) {
        if (step->Distance == 0) {
            AppendLiterals(tokens, data.subspan(position, step->Length));
        } else {
            AppendCopy(tokens, step->Length, step->Distance);
        }
        position += step->Length;
    }
    return tokens;
}

}  // namespace patcher::packer

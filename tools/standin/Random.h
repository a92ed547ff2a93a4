#pragma once

#include <cstdint>

namespace patcher::standin {

// A small deterministic generator (SplitMix64): the stand-in files must come out byte for byte the same on
// every machine, compiler and run, which the standard distributions do not promise.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, bound); bound must be positive.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32); }

    // Uniform in [low, high].
    std::uint32_t Between(std::uint32_t low, std::uint32_t high) { return low + Below(high - low + 1); }

    bool Percent(std::uint32_t chance) { return Below(100) < chance; }

    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }

    // A seed derived from this one and a label, for a sub-stream that stays put when others change.
    static std::uint64_t Mix(std::uint64_t seed, std::uint64_t label) {
        Random mixer(seed ^ (label * 0xD6E8FEB86659FD93ULL));
        return mixer.Next();
    }

  private:
    std::uint64_t state_;
};

}  // namespace patcher::standin

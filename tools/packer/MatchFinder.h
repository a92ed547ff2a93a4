#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace patcher::packer {

inline constexpr std::size_t kMinCopy = 3;
inline constexpr std::size_t kMaxCopy = 10;
inline constexpr std::size_t kMaxDistance = 4095;

// Earlier occurrences of the bytes at a position within the copy window, through chains of the positions
// whose first three bytes hash alike (nearest first). Positions are inserted in increasing order, each after
// it has been searched.
class MatchFinder {
  public:
    static constexpr std::int32_t kNone = -1;

    explicit MatchFinder(std::span<const std::uint8_t> data) : data_(data), head_(kHeadSize, kNone) {}

    void Insert(std::size_t position) {
        if (position + kMinCopy > data_.size()) {
            return;
        }
        std::int32_t& head = head_[Hash(position)];
        previous_[position & kRingMask] = head;
        head = static_cast<std::int32_t>(position);
    }

    // The nearest earlier position that may match, or kNone.
    std::int32_t First(std::size_t position) const {
        return position + kMinCopy > data_.size() ? kNone : head_[Hash(position)];
    }

    // The position before `candidate` in its chain. Valid while candidate is within the window of the
    // position being searched (the ring is longer than the window).
    std::int32_t Next(std::int32_t candidate) const {
        return previous_[static_cast<std::size_t>(candidate) & kRingMask];
    }

    // How many bytes (up to kMaxCopy) at `from` equal those at `position`; the copy may overlap its output.
    std::size_t MatchLength(std::size_t from, std::size_t position) const {
        const std::size_t limit = std::min(kMaxCopy, data_.size() - position);
        const std::uint8_t* a = data_.data() + from;
        const std::uint8_t* b = data_.data() + position;
        std::size_t length = 0;
        if (limit == kMaxCopy) {
            std::uint64_t left;
            std::uint64_t right;
            std::memcpy(&left, a, sizeof left);
            std::memcpy(&right, b, sizeof right);
            if (const std::uint64_t differ = left ^ right; differ != 0) {
                static_assert(std::endian::native == std::endian::little);
                return static_cast<std::size_t>(std::countr_zero(differ)) / 8;
            }
            length = 8;
        }
        while (length < limit && a[length] == b[length]) {
            ++length;
        }
        return length;
    }

    // Calls visit(distance, length) for each chain position from `candidate` on that lies within the window
    // and matches at least kMinCopy bytes, nearest first, until visit returns false.
    template <class Visit>
    void ForEachMatch(std::size_t position, std::int32_t candidate, Visit visit) const {
        while (candidate != kNone) {
            const auto from = static_cast<std::size_t>(candidate);
            const std::size_t distance = position - from;
            if (distance > kMaxDistance) {
                return;
            }
            const std::size_t length = MatchLength(from, position);
            if (length >= kMinCopy && !visit(distance, length)) {
                return;
            }
            candidate = Next(candidate);
        }
    }

  private:
    static constexpr std::size_t kHashBits = 18;
    static constexpr std::size_t kHeadSize = std::size_t{1} << kHashBits;
    static constexpr std::size_t kRingMask = 4095;

    std::size_t Hash(std::size_t position) const {
        const std::uint32_t key =
            std::uint32_t{data_[position]} << 16 | std::uint32_t{data_[position + 1]} << 8 | data_[position + 2];
        return (key * 2654435761u) >> (32 - kHashBits);
    }

    std::span<const std::uint8_t> data_;
    std::vector<std::int32_t> head_;
    std::array<std::int32_t, kRingMask + 1> previous_{};
};

}  // namespace patcher::packer

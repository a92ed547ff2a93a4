#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace patcher::packer {

// Price of each token byte value, in sixteenths of a bit, at most kMaxPrice.
using Prices = std::array<std::uint32_t, 256>;
inline constexpr std::uint32_t kPriceScale = 16;
inline constexpr std::uint32_t kMaxPrice = 32 * kPriceScale;

// Token string of the plain greedy parse: at each position the longest copy the window offers (the nearest
// of equal length), else a literal; literals gather into runs of up to 128.
std::vector<std::uint8_t> GreedyParse(std::span<const std::uint8_t> data);

// Token string of the cheapest parse under the given prices: a shortest path over the positions whose edges
// are copies of every length and distance the window offers (token and distance byte priced) and literal
// runs (header and every literal priced).
std::vector<std::uint8_t> OptimalParse(std::span<const std::uint8_t> data, const Prices& prices);

}  // namespace patcher::packer

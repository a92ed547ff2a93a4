#include "platform/FreshName.h"

#include <algorithm>
#include <random>

namespace patcher {
namespace {

// Seven random characters at the least give 36^7 (about 8e10) names: one that another program made
// beforehand is met by chance too rarely to matter, and a retry takes another name.
constexpr std::size_t kShortest = 8;
constexpr std::size_t kLongest = 12;
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

std::size_t FreshNameLength(std::size_t longestName) {
    return std::clamp(longestName, kShortest, kLongest);
}

ByteString FreshFileName(std::size_t longestName) {
    // The system's source, not a seeded generator: names that others cannot foresee cannot be made ahead of us.
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) - 2);
    ByteString name = "~";
    const std::size_t length = FreshNameLength(longestName);
    while (name.size() < length) {
        name += kAlphabet[pick(source)];
    }
    return name;
}

}  // namespace patcher

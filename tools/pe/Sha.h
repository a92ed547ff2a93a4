#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace patcher::pe {

// SHA-1 and SHA-256 (FIPS 180-4), the digests that Authenticode signatures name: fed in pieces of any size,
// so that a file is hashed around the parts that the digest leaves out. Finish ends a hash; the object is
// spent afterwards.

class Sha1 {
  public:
    static constexpr std::size_t kDigestBytes = 20;
    using Digest = std::array<std::uint8_t, kDigestBytes>;

    void Update(std::span<const std::uint8_t> bytes);
    Digest Finish();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 5> state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

class Sha256 {
  public:
    static constexpr std::size_t kDigestBytes = 32;
    using Digest = std::array<std::uint8_t, kDigestBytes>;

    void Update(std::span<const std::uint8_t> bytes);
    Digest Finish();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_ = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                           0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace patcher::pe

#include "tools/pe/Sha.h"

#include <algorithm>
#include <bit>

namespace patcher::pe {
namespace {

constexpr std::size_t kBlockBytes = 64;

std::uint32_t LoadBig32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

void StoreBig32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

// Both hashes take 64-byte blocks and end the same way: a 1 bit, zeros, and the length in bits as a
// big-endian 64-bit number in the last 8 bytes of the last block.
template <typename Hash>
void Feed(Hash& hash,
          std::array<std::uint8_t, kBlockBytes>& pending,
          std::size_t& pendingBytes,
          std::uint64_t& totalBytes,
          std::span<const std::uint8_t> bytes) {
    totalBytes += bytes.size();
    if (pendingBytes != 0) {
        const std::size_t taken = std::min(kBlockBytes - pendingBytes, bytes.size());
        std::copy_n(bytes.begin(), taken, pending.begin() + static_cast<std::ptrdiff_t>(pendingBytes));
        pendingBytes += taken;
        bytes = bytes.subspan(taken);
        if (pendingBytes < kBlockBytes) {
            return;
        }
        hash(pending.data());
        pendingBytes = 0;
    }
    while (bytes.size() >= kBlockBytes) {
        hash(bytes.data());
        bytes = bytes.subspan(kBlockBytes);
    }
    std::copy(bytes.begin(), bytes.end(), pending.begin());
    pendingBytes = bytes.size();
}

template <typename Hash>
void Pad(Hash& hash,
         std::array<std::uint8_t, kBlockBytes>& pending,
         std::size_t pendingBytes,
         std::uint64_t totalBytes) {
    pending[pendingBytes++] = 0x80;
    if (pendingBytes > kBlockBytes - 8) {
        std::fill(pending.begin() + static_cast<std::ptrdiff_t>(pendingBytes), pending.end(), 0);
        hash(pending.data());
        pendingBytes = 0;
    }
    std::fill(pending.begin() + static_cast<std::ptrdiff_t>(pendingBytes), pending.end() - 8, 0);
    const std::uint64_t bits = totalBytes * 8;
    StoreBig32(pending.data() + kBlockBytes - 8, static_cast<std::uint32_t>(bits >> 32));
    StoreBig32(pending.data() + kBlockBytes - 4, static_cast<std::uint32_t>(bits));
    hash(pending.data());
}

template <std::size_t N>
std::array<std::uint8_t, N * 4> BigEndian(const std::array<std::uint32_t, N>& state) {
    std::array<std::uint8_t, N * 4> digest{};
    for (std::size_t i = 0; i < N; ++i) {
        StoreBig32(digest.data() + 4 * i, state[i]);
    }
    return digest;
}

constexpr std::array<std::uint32_t, 64> kSha256Rounds = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2,
};

}  // namespace

void Sha1::Block(const std::uint8_t* block) {
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = LoadBig32(block + 4 * i);
    }
    for (std::size_t i = 16; i < 80; ++i) {
        w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    auto [a, b, c, d, e] = state_;
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t next = std::rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(std::span<const std::uint8_t> bytes) {
    auto block = [this](const std::uint8_t* data) { Block(data); };
    Feed(block, pending_, pendingBytes_, totalBytes_, bytes);
}

Sha1::Digest Sha1::Finish() {
    auto block = [this](const std::uint8_t* data) { Block(data); };
    Pad(block, pending_, pendingBytes_, totalBytes_);
    return BigEndian(state_);
}

void Sha256::Block(const std::uint8_t* block) {
    std::array<std::uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = LoadBig32(block + 4 * i);
    }
    for (std::size_t i = 16; i < 64; ++i) {
        const std::uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = state_;
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint32_t s1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kSha256Rounds[i] + w[i];
        const std::uint32_t s0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
    auto block = [this](const std::uint8_t* data) { Block(data); };
    Feed(block, pending_, pendingBytes_, totalBytes_, bytes);
}

Sha256::Digest Sha256::Finish() {
    auto block = [this](const std::uint8_t* data) { Block(data); };
    Pad(block, pending_, pendingBytes_, totalBytes_);
    return BigEndian(state_);
}

}  // namespace patcher::pe

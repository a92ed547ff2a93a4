// SHA-1 and SHA-256 against the published examples of FIPS 180 and the digests of messages around the
// padding's edges (taken from another implementation), whole and fed in pieces.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tools/pe/Sha.h"

namespace patcher::pe {
namespace {

template <typename Digest>
std::string Hex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

template <typename Hash>
std::string Whole(std::string_view text) {
    Hash hash;
    hash.Update(BytesOf(text));
    return Hex(hash.Finish());
}

struct Example {
    std::string Message;
    const char* Sha1;
    const char* Sha256;
};

const std::vector<Example>& Examples() {
    static const std::vector<Example> examples = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // 55 bytes end in one block with the length; 56 need a second block; 64 fill one exactly.
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a",
         "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699",
         "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d",
         "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1'000'000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    return examples;
}

TEST(Sha, GivesThePublishedDigests) {
    for (const Example& example : Examples()) {
        EXPECT_EQ(Whole<Sha1>(example.Message), example.Sha1) << example.Message.size() << " bytes";
        EXPECT_EQ(Whole<Sha256>(example.Message), example.Sha256) << example.Message.size() << " bytes";
    }
}

// Pieces of every length from 1 to 130 bytes, so that each meets the block's end at every place.
TEST(Sha, GivesTheSameDigestFedInPieces) {
    const std::vector<std::uint8_t> bytes = testing::Noise(1000, 9);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string sha1 = Whole<Sha1>(text);
    const std::string sha256 = Whole<Sha256>(text);
    for (std::size_t piece = 1; piece <= 130; ++piece) {
        Sha1 first;
        Sha256 second;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::span<const std::uint8_t> part = std::span(bytes).subspan(at, std::min(piece, bytes.size() - at));
            first.Update(part);
            second.Update(part);
            first.Update({});
        }
        EXPECT_EQ(Hex(first.Finish()), sha1) << piece;
        EXPECT_EQ(Hex(second.Finish()), sha256) << piece;
    }
}

}  // namespace
}  // namespace patcher::pe

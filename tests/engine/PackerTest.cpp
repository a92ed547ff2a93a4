#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/UDer.h"
#include "tests/engine/PackedStreamBuilder.h"
#include "tools/packer/FixedLog2.h"
#include "tools/packer/Packer.h"
#include "tools/packer/PrefixCode.h"
#include "tools/packer/ReferenceUnpack.h"

namespace patcher::packer {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Lcg {
  public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::uint32_t Below(std::uint32_t limit) { return Next() % limit; }

  private:
    std::uint32_t state_;
};

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
    Lcg random(seed);
    Bytes bytes(size);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(random.Next());
    }
    return bytes;
}

// Text-like data: words from a small vocabulary, spaces, line ends, and now and then a zero run.
Bytes Structured(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"patch",  "file",  "version", "the", "a",   "resource", "packed",
                                         "decode", "table", "window",  "of",  "and", "zakończ",  "Uaktualnij"};
    Lcg random(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const char* word = kWords[random.Below(sizeof kWords / sizeof kWords[0])];
        bytes.insert(bytes.end(), word, word + std::strlen(word));
        bytes.push_back(random.Below(9) == 0 ? '\n' : ' ');
        if (random.Below(40) == 0) {
            bytes.insert(bytes.end(), random.Below(300), 0);
        }
    }
    bytes.resize(size);
    return bytes;
}

Bytes ToBytes(std::span<const std::uint8_t> view) {
    return {view.begin(), view.end()};
}

void ExpectRoundTrip(const Bytes& data, ParseMethod method, const std::string& what) {
    const Bytes packed = Pack(data, method);
    auto state = std::make_unique<DecoderState>();
    EXPECT_EQ(ToBytes(Unpack(*state, packed)), data) << what;
}

TEST(Packer, RoundTripsRandomAndStructuredInputsOfManySizes) {
    for (const std::size_t size : {1u, 2u, 3u, 10u, 11u, 128u, 129u, 4095u, 4097u, 70000u}) {
        for (const ParseMethod method : {ParseMethod::Greedy, ParseMethod::Optimal}) {
            ExpectRoundTrip(RandomBytes(size, static_cast<std::uint32_t>(size)), method,
                            "random " + std::to_string(size));
            ExpectRoundTrip(Structured(size, static_cast<std::uint32_t>(size)), method, "text " + std::to_string(size));
            ExpectRoundTrip(Bytes(size, 0x80), method, "run " + std::to_string(size));
        }
    }
    // Short periodic patterns and a run longer than the window.
    Bytes periodic;
    for (std::size_t i = 0; i < 60000; ++i) {
        periodic.push_back(static_cast<std::uint8_t>(i % 3 == 0 ? 0xAA : i % 7));
    }
    ExpectRoundTrip(periodic, ParseMethod::Optimal, "periodic");
    Bytes runs(14003, 0);
    runs[9000] = 1;
    runs[9001] = 2;
    runs[9002] = 3;
    ExpectRoundTrip(runs, ParseMethod::Optimal, "runs");
}

TEST(Packer, TheOptimalParseIsNeverLargerAndBeatsGreedyOnText) {
    const Bytes text = Structured(60000, 7);
    const std::size_t greedy = Pack(text, ParseMethod::Greedy).size();
    const std::size_t optimal = Pack(text, ParseMethod::Optimal).size();
    EXPECT_LT(optimal, greedy);
    EXPECT_LT(optimal, text.size() / 2);
    const Bytes random = RandomBytes(20000, 3);
    EXPECT_LE(Pack(random, ParseMethod::Optimal).size(), Pack(random, ParseMethod::Greedy).size());
}

TEST(Packer, PacksExactlyTheCapacityAndRefusesMoreOrNothing) {
    Bytes full = Structured(UnpackCapacity, 11);
    const Bytes random = RandomBytes(UnpackCapacity / 2, 5);
    std::copy(random.begin(), random.end(), full.begin() + UnpackCapacity / 4);
    ExpectRoundTrip(full, ParseMethod::Greedy, "full capacity");

    full.push_back(1);
    EXPECT_THROW(Pack(full, ParseMethod::Greedy), PackError);
    EXPECT_THROW(Pack(Bytes{}, ParseMethod::Optimal), PackError);
}

// FNV-1a, 64 bits: a digest of packed bytes that is the same on every platform by construction.
std::uint64_t Fnv1a(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (const std::uint8_t byte : bytes) {
        hash = (hash ^ byte) * 0x100000001B3u;
    }
    return hash;
}

TEST(Packer, PacksToTheSameBytesOnEveryPlatform) {
    // Text with zero runs, random stretches and a periodic stretch: literal runs, copies of every length and
    // several optimal passes, each priced by the one before. These tests run natively and under Wine, so a
    // price that came out otherwise on one platform fails one of the two. A change to the packer that is
    // meant to change its output changes these two numbers as well.
    Bytes data = Structured(40000, 1250);
    const Bytes random = RandomBytes(3000, 1250);
    data.insert(data.begin() + 12000, random.begin(), random.end());
    for (std::size_t i = 0; i < 3000; ++i) {
        data.push_back(static_cast<std::uint8_t>(i % 5 == 0 ? 0x55 : i % 11));
    }
    const Bytes packed = Pack(data, ParseMethod::Optimal);
    EXPECT_EQ(packed.size(), 10373u);
    EXPECT_EQ(Fnv1a(packed), 0xBA84B3F858189CD1u);
}

TEST(Packer, FixedLog2IsExactAtPowersOfTwoAndWithinAUnitElsewhere) {
    constexpr double kUnit = 1u << kLog2FractionBits;
    for (int power = 0; power < 40; ++power) {
        EXPECT_EQ(FixedLog2(std::uint64_t{1} << power), static_cast<std::uint64_t>(power) << kLog2FractionBits);
    }
    std::uint64_t previous = 0;
    for (std::uint64_t value = 1; value < 5'000'000; value += 1 + value / 64) {
        const std::uint64_t log = FixedLog2(value);
        EXPECT_NEAR(static_cast<double>(log), std::log2(static_cast<double>(value)) * kUnit, 1.01) << value;
        EXPECT_GE(log, previous) << value;
        previous = log;
    }
}

TEST(Packer, PrefixCodesStayWithinSixteenBitsAndPrefixFree) {
    // Fibonacci counts would want codes far longer than 16 bits.
    SymbolCounts counts{};
    std::uint64_t a = 1;
    std::uint64_t b = 1;
    for (std::size_t symbol = 0; symbol < 40; ++symbol) {
        counts[symbol] = a;
        const std::uint64_t next = a + b;
        a = b;
        b = next;
    }
    const PrefixCode code = BuildPrefixCode(counts);
    double kraft = 0;
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
        const int length = code.Lengths[symbol];
        EXPECT_EQ(length != 0, counts[symbol] != 0) << symbol;
        EXPECT_LE(length, 16);
        if (length != 0) {
            kraft += 1.0 / static_cast<double>(1u << length);
        }
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    // The rarest symbols get the longest codes.
    EXPECT_GE(code.Lengths[0], code.Lengths[39]);

    // A lone symbol still gets a partner: the format needs two entries.
    SymbolCounts one{};
    one[0x80] = 5;
    const PrefixCode lone = BuildPrefixCode(one);
    EXPECT_EQ(lone.Lengths[0x80], 1);
    EXPECT_EQ(lone.Lengths[0], 1);
    ExpectRoundTrip(Bytes{0x80}, ParseMethod::Optimal, "one byte whose token is its own value");
}

TEST(Packer, TheBitAtATimeReferenceAgreesWithUnpack) {
    auto state = std::make_unique<DecoderState>();
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        Bytes data = Structured(30000, seed);
        const Bytes random = RandomBytes(3000, seed);
        data.insert(data.begin() + 10000, random.begin(), random.end());
        const Bytes packed = Pack(data, seed % 2 == 0 ? ParseMethod::Greedy : ParseMethod::Optimal);
        EXPECT_EQ(ReferenceUnpack(packed), data);
        EXPECT_EQ(ToBytes(Unpack(*state, packed)), data);
    }
    EXPECT_EQ(ReferenceUnpack(testing::FlatStream({0x80, 0x78, 0x70, 0x01})), Bytes(11, 0x78));
}

// Every stream, however damaged, either unpacks to what the reference makes of it or fails with
// UnpackError; the reference may accept a table that is not prefix-free, which Unpack refuses.
// What a decoder made of a stream: its bytes, or that it refused the stream.
template <typename Decode>
std::pair<Bytes, bool> Outcome(Decode&& decode) {
    try {
        return {decode(), false};
    } catch (const UnpackError&) {
        return {Bytes{}, true};
    }
}

TEST(Packer, DamagedStreamsFailCleanlyOrAgreeWithTheReference) {
    auto state = std::make_unique<DecoderState>();
    const Bytes data = Structured(3000, 99);
    const Bytes packed = Pack(data, ParseMethod::Optimal);
    Lcg random(2024);
    int failures = 0;
    for (int round = 0; round < 1500; ++round) {
        Bytes damaged = packed;
        const std::uint32_t flips = 1 + random.Below(4);
        for (std::uint32_t i = 0; i < flips; ++i) {
            damaged[random.Below(static_cast<std::uint32_t>(damaged.size()))] ^=
                static_cast<std::uint8_t>(1u << random.Below(8));
        }
        if (random.Below(4) == 0) {
            damaged.resize(random.Below(static_cast<std::uint32_t>(damaged.size())));
        }
        const auto [fast, fastFailed] = Outcome([&] { return ToBytes(Unpack(*state, damaged)); });
        const auto [slow, slowFailed] = Outcome([&] { return ReferenceUnpack(damaged); });
        if (!fastFailed) {
            EXPECT_FALSE(slowFailed) << round;
            EXPECT_EQ(fast, slow) << round;
        } else if (!slowFailed) {
            // Only a table that is not prefix-free may be decoded by the one and refused by the other.
            try {
                HuffmanStage(*state, damaged);
                ADD_FAILURE() << "round " << round << ": Unpack failed where the reference did not";
            } catch (const UnpackError& error) {
                EXPECT_NE(std::string(error.what()).find("not a prefix code"), std::string::npos) << round;
            }
        }
        failures += fastFailed ? 1 : 0;
    }
    EXPECT_GT(failures, 100);
}

TEST(Packer, DamagedLongStreamsFailCleanlyOrAgreeWithTheReference) {
    // Long enough to be decoded from both ends of its symbol bits.
    auto state = std::make_unique<DecoderState>();
    Bytes data = Structured(20000, 42);
    const Bytes random = RandomBytes(4000, 42);
    data.insert(data.begin() + 9000, random.begin(), random.end());
    const Bytes packed = Pack(data, ParseMethod::Optimal);
    ASSERT_GT(packed.size(), 8000u);
    Lcg pick(77);
    for (int round = 0; round < 150; ++round) {
        Bytes damaged = packed;
        // Mostly in the second half of the symbols, where the second decoder starts.
        const std::uint32_t at =
            static_cast<std::uint32_t>(packed.size() / 2) + pick.Below(static_cast<std::uint32_t>(packed.size() / 2));
        damaged[round % 3 == 0 ? pick.Below(static_cast<std::uint32_t>(packed.size())) : at] ^=
            static_cast<std::uint8_t>(1u << pick.Below(8));
        const auto [fast, fastFailed] = Outcome([&] { return ToBytes(Unpack(*state, damaged)); });
        const auto [slow, slowFailed] = Outcome([&] { return ReferenceUnpack(damaged); });
        EXPECT_EQ(fastFailed, slowFailed) << round;
        EXPECT_EQ(fast, slow) << round;
    }
}

TEST(Packer, EveryTruncationFailsUntilOnlyTailIsCut) {
    auto state = std::make_unique<DecoderState>();
    const Bytes data = Structured(5000, 5);
    const Bytes packed = Pack(data, ParseMethod::Optimal);
    for (std::size_t size = 0; size < packed.size(); ++size) {
        const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(Unpack(*state, cut), UnpackError) << size;
    }
    Bytes longer = packed;
    longer.insert(longer.end(), 100, 0xFF);
    EXPECT_EQ(ToBytes(Unpack(*state, longer)), data);
}

}  // namespace
}  // namespace patcher::packer

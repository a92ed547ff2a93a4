#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/UDer.h"
#include "tests/engine/PackedStreamBuilder.h"

namespace patcher {
namespace {

using testing::BuildStream;
using testing::FlatStream;
using testing::PackedStreamBuilder;
using testing::StoredCode;
using Bytes = std::vector<std::uint8_t>;

// The state holds tables and buffer handles of some 40 KB: one per test, on the heap.
std::unique_ptr<DecoderState> NewState() {
    return std::make_unique<DecoderState>();
}

Bytes ToBytes(std::span<const std::uint8_t> view) {
    return {view.begin(), view.end()};
}

Bytes Repeat(std::uint8_t value, std::size_t count) {
    return Bytes(count, value);
}

void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// n literal bytes as runs of 128 and a last shorter one.
Bytes LiteralRuns(const Bytes& literals) {
    Bytes tokens;
    for (std::size_t at = 0; at < literals.size(); at += 128) {
        const std::size_t run = std::min<std::size_t>(128, literals.size() - at);
        tokens.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
        tokens.insert(tokens.end(), literals.begin() + static_cast<std::ptrdiff_t>(at),
                      literals.begin() + static_cast<std::ptrdiff_t>(at + run));
    }
    return tokens;
}

// Expects Unpack to refuse the stream with a message that names the broken limit.
void ExpectRefused(DecoderState& state, const Bytes& packed, const std::string& reason) {
    try {
        Unpack(state, packed);
        ADD_FAILURE() << "accepted a stream that should fail with: " << reason;
    } catch (const UnpackError& error) {
        EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
}

// The two-entry example: 0x41 with code 0, 0x42 with code 1, the symbols 41 42 42 41.
const Bytes kTwoEntryExample = [] {
    Bytes bytes(39, 0);
    bytes[8] = 0x45;
    bytes[9] = 0x18;
    bytes[34] = 0x04;
    bytes[38] = 0x60;
    return bytes;
}();

TEST(Unpack, TwoEntryExampleDecodesThroughTheHuffmanStageButIsNoTokenString) {
    const std::map<std::uint8_t, StoredCode> codes = {{0x41, {1, 0}}, {0x42, {1, 1}}};
    EXPECT_EQ(BuildStream(codes, {0x41, 0x42, 0x42, 0x41}, 0), kTwoEntryExample);

    auto state = NewState();
    EXPECT_EQ(ToBytes(HuffmanStage(*state, kTwoEntryExample)), (Bytes{0x41, 0x42, 0x42, 0x41}));
    EXPECT_EQ(state->IntermediateLength(), 4u);
    ASSERT_EQ(state->Codes().Count, 2);
    EXPECT_EQ(state->Codes().Entries[0].Symbol, 0x41);
    EXPECT_EQ(state->Codes().Entries[1].Symbol, 0x42);
    // 41 is a copy token whose distance reaches before the start of the output.
    ExpectRefused(*state, kTwoEntryExample, "before the start of the output");

    // The last byte's low four bits are tail: any value there, or more bytes, change nothing.
    Bytes tail = kTwoEntryExample;
    tail[38] = 0x6F;
    tail.push_back(0xAB);
    EXPECT_EQ(ToBytes(HuffmanStage(*state, tail)), (Bytes{0x41, 0x42, 0x42, 0x41}));
}

TEST(Unpack, LzStageExamplesRepeatThroughOverlappingCopies) {
    auto state = NewState();
    const Bytes abc = {0x82, 0x61, 0x62, 0x63, 0x30, 0x03};
    EXPECT_EQ(LzStage(*state, abc), 9);
    EXPECT_EQ(ToBytes(Unpack(*state, FlatStream(abc))), (Bytes{0x61, 0x62, 0x63, 0x61, 0x62, 0x63, 0x61, 0x62, 0x63}));
    EXPECT_EQ(state->ProducedCount(), 9);

    EXPECT_EQ(ToBytes(Unpack(*state, FlatStream({0x80, 0x78, 0x70, 0x01}))), Repeat(0x78, 11));

    // Every distance shorter than the length repeats the last `distance` bytes.
    for (std::uint8_t distance = 1; distance <= 9; ++distance) {
        Bytes tokens = LiteralRuns({1, 2, 3, 4, 5, 6, 7, 8, 9});
        tokens.insert(tokens.end(), {0x70, distance});
        Bytes expected = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        for (int i = 0; i < 10; ++i) {
            expected.push_back(expected[expected.size() - distance]);
        }
        EXPECT_EQ(ToBytes(Unpack(*state, FlatStream(tokens))), expected) << "distance " << int{distance};
    }
}

TEST(Unpack, TokenExtremes) {
    auto state = NewState();
    Bytes literals(4095 + 128);
    for (std::size_t i = 0; i < literals.size(); ++i) {
        literals[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    // 0x80 copies one byte, 0xFF 128; 0x7F 0xFF copies 10 bytes from 4095 back, 0x00 0x01 three from 1 back.
    Bytes tokens = {0x80, 0x11};
    Bytes expected = {0x11};
    tokens.push_back(0xFF);
    tokens.insert(tokens.end(), literals.begin(), literals.begin() + 128);
    expected.insert(expected.end(), literals.begin(), literals.begin() + 128);
    Append(tokens, LiteralRuns(Bytes(literals.begin() + 128, literals.begin() + 4094)));
    expected.insert(expected.end(), literals.begin() + 128, literals.begin() + 4094);
    ASSERT_EQ(expected.size(), 4095u);
    tokens.insert(tokens.end(), {0x7F, 0xFF});
    for (int i = 0; i < 10; ++i) {
        expected.push_back(expected[expected.size() - 4095]);
    }
    tokens.insert(tokens.end(), {0x00, 0x01});
    for (int i = 0; i < 3; ++i) {
        expected.push_back(expected.back());
    }
    ASSERT_EQ(expected[4095], 0x11);  // the first byte, 4095 back
    EXPECT_EQ(ToBytes(Unpack(*state, FlatStream(tokens))), expected);
    EXPECT_EQ(LzStage(*state, tokens), static_cast<std::int32_t>(expected.size()));
}

TEST(Unpack, FillBitsAreSkippedOnlyWhenTheTableEndsInsideAByte) {
    auto state = NewState();
    // 256 presence bits and two records of 4 + 1 and 4 + 7 bits: 272 bits, L at byte 34 with no fill.
    const std::map<std::uint8_t, StoredCode> whole = {{0x80, {1, 0}}, {'x', {7, 0x40}}};
    PackedStreamBuilder table;
    table.Table(whole);
    EXPECT_EQ(table.BitCount(), 272u);
    const Bytes aligned = BuildStream(whole, {0x80, 'x', 0x80, 'x'}, 1);
    EXPECT_EQ(aligned[34], 4);
    EXPECT_EQ(ToBytes(Unpack(*state, aligned)), (Bytes{'x', 'x'}));

    // Two one-bit codes: 266 bits, 6 fill bits (ones here) before L at byte 34.
    const std::map<std::uint8_t, StoredCode> partial = {{0x80, {1, 1}}, {'y', {1, 0}}};
    const Bytes filled = BuildStream(partial, {0x80, 'y'}, 1);
    EXPECT_EQ(filled[33] & 0x3F, 0x3F);
    EXPECT_EQ(filled[34], 2);
    EXPECT_EQ(ToBytes(Unpack(*state, filled)), (Bytes{'y'}));
}

TEST(Unpack, StoredCodesDecideNotCanonicalOnes) {
    auto state = NewState();
    // Lengths 2, 2, 3, 3, 3 in an order no canonical assignment gives, and a 16-bit code stored as length 0.
    const std::map<std::uint8_t, StoredCode> codes = {{0x84, {2, 0b11}}, {'a', {2, 0b00}},  {'b', {3, 0b011}},
                                                      {'c', {3, 0b010}}, {'e', {3, 0b100}}, {'d', {16, 0xA000}}};
    const Bytes packed = BuildStream(codes, {0x84, 'e', 'a', 'b', 'c', 'd'});
    EXPECT_EQ(ToBytes(Unpack(*state, packed)), (Bytes{'e', 'a', 'b', 'c', 'd'}));

    // Sorted by length, equal lengths in increasing byte value.
    const CodeTable& table = state->Codes();
    ASSERT_EQ(table.Count, 6);
    const Bytes order = {'a', 0x84, 'b', 'c', 'e', 'd'};
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(table.Entries[i].Symbol, order[i]) << i;
    }
    EXPECT_EQ(table.Entries[5].Length, 16);
    EXPECT_EQ(table.Entries[5].Code, 0xA000);
}

TEST(Unpack, LongCodesOfEveryLengthDecode) {
    auto state = NewState();
    // Codes 0, 10, 110, ... up to fifteen ones and a zero, and sixteen ones: one of every length 1..16.
    std::map<std::uint8_t, StoredCode> codes;
    Bytes symbols = {0xBF};  // a literal run of 64
    for (int length = 1; length <= 16; ++length) {
        const auto ones = static_cast<std::uint16_t>(((1u << length) - 1) & ~1u);
        codes[static_cast<std::uint8_t>(length)] = {length, length == 16 ? std::uint16_t{0xFFFF} : ones};
    }
    codes[0xBF] = {16, 0xFFFE};
    codes[15] = {15, 0x7FFE};
    codes[16] = {16, 0xFFFF};
    Bytes expected;
    for (int i = 0; i < 64; ++i) {
        const auto symbol = static_cast<std::uint8_t>(16 - i % 16);
        symbols.push_back(symbol);
        expected.push_back(symbol);
    }
    EXPECT_EQ(ToBytes(Unpack(*state, BuildStream(codes, symbols))), expected);
}

TEST(Unpack, AnIncompleteCodeIsFineWhileEveryCodeReadMatches) {
    auto state = NewState();
    // Codes 00 and 01 only: 1x matches nothing.
    const std::map<std::uint8_t, StoredCode> codes = {{0x81, {2, 0}}, {'z', {2, 1}}};
    EXPECT_EQ(ToBytes(Unpack(*state, BuildStream(codes, {0x81, 'z', 'z'}))), (Bytes{'z', 'z'}));

    PackedStreamBuilder broken;
    broken.Table(codes);
    broken.Fill(0);
    broken.Length(3);
    broken.Bits(0b00'01'10, 6);
    broken.Fill(0);
    ExpectRefused(*state, broken.Bytes(), "matches no entry");
}

TEST(Unpack, EntriesOfAnEarlierStreamAreNeverMatched) {
    auto state = NewState();
    // The first stream leaves four entries of length 2 behind; the second has two, so its 10 and 11 are
    // unassigned and must fail even though the old third and fourth entries had those codes.
    const std::map<std::uint8_t, StoredCode> four = {
        {0x80, {2, 0b00}}, {'p', {2, 0b01}}, {'q', {2, 0b10}}, {'r', {2, 0b11}}};
    EXPECT_EQ(ToBytes(Unpack(*state, BuildStream(four, {0x80, 'r'}))), (Bytes{'r'}));
    const std::map<std::uint8_t, StoredCode> two = {{0x80, {2, 0b00}}, {'p', {2, 0b01}}};
    PackedStreamBuilder stream;
    stream.Table(two);
    stream.Fill(0);
    stream.Length(2);
    stream.Bits(0b00'11, 4);
    stream.Fill(0);
    ExpectRefused(*state, stream.Bytes(), "matches no entry");
}

TEST(Unpack, ALastCodeMayEndOnTheLastBitButNotPastIt) {
    auto state = NewState();
    // Code 1 for the run header, 01 for 'k' and 00 for 'm': the stream ends exactly with its last code,
    // so a reader that looks 16 bits ahead must not fail there.
    const std::map<std::uint8_t, StoredCode> codes = {{0x87, {1, 1}}, {'k', {2, 0b01}}, {'m', {2, 0b00}}};
    const Bytes symbols = {0x87, 'k', 'm', 'k', 'm', 'k', 'm', 'k', 'm'};
    PackedStreamBuilder stream;
    stream.Table(codes);
    stream.Fill(0);
    stream.Length(static_cast<std::uint32_t>(symbols.size()));
    stream.Symbols(codes, symbols);
    stream.Bits(0, 7);  // 1 + 8 * 2 = 17 bits: seven more fill the third byte
    const Bytes exact = stream.Bytes();
    EXPECT_EQ(ToBytes(Unpack(*state, exact)), (Bytes{'k', 'm', 'k', 'm', 'k', 'm', 'k', 'm'}));

    // Without the last byte the last code is cut.
    Bytes cut(exact.begin(), exact.end() - 1);
    ExpectRefused(*state, cut, "ends inside a code");

    // A 16-bit code whose first seven bits are the last bits of the stream (the zeros after them would
    // complete it).
    const std::map<std::uint8_t, StoredCode> longCodes = {{0x80, {1, 0}}, {'w', {16, 0xFE00}}};
    PackedStreamBuilder longer;
    longer.Table(longCodes);
    longer.Fill(0);
    longer.Length(2);
    longer.Bits(0, 1);
    longer.Bits(0x7F, 7);  // only 7 of its 16 bits
    ExpectRefused(*state, longer.Bytes(), "ends inside a code");
}

TEST(Unpack, EachBrokenLimitIsRefused) {
    auto state = NewState();
    const std::map<std::uint8_t, StoredCode> two = {{0x80, {1, 0}}, {'a', {1, 1}}};

    ExpectRefused(*state, {}, "ends inside the code table");
    const Bytes valid = BuildStream(two, {0x80, 'a'});
    ExpectRefused(*state, Bytes(valid.begin(), valid.begin() + 20), "ends inside the code table");
    ExpectRefused(*state, Bytes(valid.begin(), valid.begin() + 35), "ends before the intermediate length");

    ExpectRefused(*state, BuildStream({}, {}), "fewer than two entries");
    ExpectRefused(*state, BuildStream({{'a', {1, 0}}}, {'a'}), "fewer than two entries");
    ExpectRefused(*state, BuildStream({{0x80, {1, 0}}, {'a', {2, 0b01}}}, {0x80, 'a'}), "not a prefix code");
    ExpectRefused(*state, BuildStream({{0x80, {3, 0b101}}, {'a', {3, 0b101}}}, {0x80, 'a'}), "not a prefix code");
    ExpectRefused(*state, BuildStream({{0x80, {12, 0x0AB}}, {'a', {14, 0x2AC}}}, {0x80, 'a'}), "not a prefix code");

    PackedStreamBuilder zero;
    zero.Table(two);
    zero.Fill(0);
    zero.Length(0);
    zero.Bits(0xFFFF, 16);
    ExpectRefused(*state, zero.Bytes(), "intermediate length is 0");

    // Two one-bit codes in one byte of symbols cannot be nine.
    PackedStreamBuilder many;
    many.Table(two);
    many.Fill(0);
    many.Length(9);
    many.Bits(0b0111'1111, 8);
    ExpectRefused(*state, many.Bytes(), "more codes than the packed data holds");
    PackedStreamBuilder huge;
    huge.Table(two);
    huge.Fill(0);
    huge.Length(0xFFFFFFFF);
    ExpectRefused(*state, huge.Bytes(), "more codes than the packed data holds");

    ExpectRefused(*state, FlatStream({0x82, 'a', 'b'}), "literal run goes past the end");
    ExpectRefused(*state, FlatStream({0x81, 'a', 'b', 0x30}), "copy token is cut off");
    ExpectRefused(*state, FlatStream({0x81, 'a', 'b', 0x30, 0x00}), "distance 0");
    ExpectRefused(*state, FlatStream({0x81, 'a', 'b', 0x30, 0x03}), "before the start of the output");
    ExpectRefused(*state, FlatStream({0x30, 0x01}), "before the start of the output");
}

TEST(Unpack, OutputMayFillTheCapacityExactlyButNotPassIt) {
    auto state = NewState();
    // Literal runs of random-looking bytes: the token string is longer than the output it makes.
    Bytes literals(UnpackCapacity);
    std::uint32_t seed = 12345;
    for (std::uint8_t& byte : literals) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    const Bytes full = LiteralRuns(literals);
    ASSERT_GT(full.size(), static_cast<std::size_t>(UnpackCapacity));
    EXPECT_EQ(ToBytes(Unpack(*state, FlatStream(full))), literals);
    EXPECT_EQ(state->ProducedCount(), UnpackCapacity);

    Bytes oneLiteralMore = full;
    oneLiteralMore.insert(oneLiteralMore.end(), {0x80, 0x00});
    ExpectRefused(*state, FlatStream(oneLiteralMore), "exceed 2,097,152 bytes");

    // The same with a copy that ends one byte past the capacity.
    Bytes shortOfFull = LiteralRuns(Bytes(literals.begin(), literals.end() - 2));
    shortOfFull.insert(shortOfFull.end(), {0x00, 0x05});
    ExpectRefused(*state, FlatStream(shortOfFull), "exceed 2,097,152 bytes");
    shortOfFull.pop_back();
    shortOfFull.pop_back();
    shortOfFull.insert(shortOfFull.end(), {0x81, 0x01, 0x02});
    EXPECT_EQ(Unpack(*state, FlatStream(shortOfFull)).size(), static_cast<std::size_t>(UnpackCapacity));
}

// Long streams are decoded from the start and from the middle of their symbol bits at once; these cases
// make the two decoders meet, never meet, or find the whole stream before the middle.
TEST(Unpack, LongStreamsDecodeAlikeWhereverTheirHalvesMeet) {
    auto state = NewState();
    // Eight 3-bit codes: symbol boundaries lie 3 bits apart from the start, so a decoder started at a byte in
    // the middle is in step with them only when that byte's distance from the start is a multiple of 3 bits.
    std::map<std::uint8_t, StoredCode> threeBits;
    const Bytes symbols = {0x80, 0x81, 'a', 'b', 'c', 'd', 'e', 'f'};
    for (std::uint16_t i = 0; i < 8; ++i) {
        threeBits[symbols[i]] = {3, i};
    }
    for (const std::size_t runs : {3000u, 3001u, 3002u, 3003u, 3004u, 3005u}) {
        Bytes tokens;
        Bytes expected;
        for (std::size_t i = 0; i < runs; ++i) {
            const auto literal = static_cast<std::uint8_t>('a' + (i * 7 + i / 5) % 6);
            if (i % 3 == 0) {
                tokens.insert(tokens.end(), {0x81, literal, 'f'});
                expected.insert(expected.end(), {literal, 'f'});
            } else {
                tokens.insert(tokens.end(), {0x80, literal});
                expected.push_back(literal);
            }
        }
        const Bytes packed = BuildStream(threeBits, tokens);
        ASSERT_GT(packed.size(), 2048u + 50);
        EXPECT_EQ(ToBytes(Unpack(*state, packed)), expected) << runs;
    }

    // The stream ends long before the middle of what follows its table: the rest is tail.
    const Bytes tokens = LiteralRuns(Bytes(3000, 'q'));
    Bytes withTail = FlatStream(tokens);
    withTail.insert(withTail.end(), 20000, 0xFF);
    EXPECT_EQ(ToBytes(Unpack(*state, withTail)), Bytes(3000, 'q'));
}

TEST(Unpack, LongStreamsFailAtABadCodeInEitherHalf) {
    auto state = NewState();
    // 00, 01 and 10 are codes, 11 is none.
    const std::map<std::uint8_t, StoredCode> codes = {{0x80, {2, 0}}, {'a', {2, 1}}, {'b', {2, 2}}};
    Bytes tokens;
    for (int i = 0; i < 20000; ++i) {
        tokens.insert(tokens.end(), {0x80, static_cast<std::uint8_t>(i % 3 == 0 ? 'a' : 'b')});
    }
    const Bytes good = BuildStream(codes, tokens);
    EXPECT_EQ(Unpack(*state, good).size(), 20000u);
    for (const std::size_t symbol : {5001u, 20000u, 20001u, 20033u, 30001u, 39999u}) {
        Bytes bad = good;
        const std::size_t bit = (good.size() - 40000 / 4) * 8 + 2 * symbol;  // symbols fill the last bytes
        bad[bit / 8] = static_cast<std::uint8_t>(bad[bit / 8] | 0xC0 >> (bit % 8));
        ExpectRefused(*state, bad, "matches no entry");
    }
}

TEST(Unpack, TheStateServesStreamAfterStream) {
    auto state = NewState();
    const Bytes first = FlatStream({0x83, 1, 2, 3, 4, 0x70, 0x04});
    const Bytes second = FlatStream({0x80, 9, 0x00, 0x01});
    EXPECT_EQ(ToBytes(Unpack(*state, first)), (Bytes{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2}));
    ExpectRefused(*state, FlatStream({0x30, 0x01}), "before the start");
    EXPECT_EQ(ToBytes(Unpack(*state, second)), (Bytes{9, 9, 9, 9}));
    state->ReleaseBuffers();
    EXPECT_EQ(ToBytes(Unpack(*state, first)), (Bytes{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2}));
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "shell/KodKeyTables.h"
#include "shell/untKod.h"

namespace patcher {
namespace {

ByteString AllByteValues() {
    ByteString text;
    for (int value = 0; value < 256; ++value) {
        text.push_back(static_cast<char>(value));
    }
    return text;
}

std::vector<ByteString> RandomTexts(unsigned seed, int count) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(1, 80);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<ByteString> texts;
    for (int i = 0; i < count; ++i) {
        ByteString text(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : text) {
            c = static_cast<char>(byte(random));
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

std::string Hex(const ByteString& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto value = static_cast<unsigned char>(c);
        hex += digits[value >> 4];
        hex += digits[value & 15];
    }
    return hex;
}

bool IsReserved(unsigned char byte) {
    return byte <= 32 || byte == 64;
}

TEST(KodKeyTables, ShiftEntriesStayBelowTheAlphabetAndEveryRowVaries) {
    ASSERT_EQ(ShiftKeyTable.size(), 600u);
    ASSERT_EQ(XorKeyTable.size(), 600u);
    for (std::size_t i = 0; i < ShiftKeyTable.size(); ++i) {
        EXPECT_LT(ShiftKeyTable[i], 226) << "entry " << i;
    }
    // Distinct positions within a row make the key depend on the position, which the length test relies on.
    for (std::size_t row = 0; row < 60; ++row) {
        for (std::size_t a = 0; a < 10; ++a) {
            for (std::size_t b = a + 1; b < 10; ++b) {
                EXPECT_NE(ShiftKeyTable[row * 10 + a], ShiftKeyTable[row * 10 + b]) << "shift row " << row;
                EXPECT_NE(XorKeyTable[row * 10 + a], XorKeyTable[row * 10 + b]) << "xor row " << row;
            }
        }
    }
}

TEST(TKod, InRangeIsInclusiveAndSigned) {
    EXPECT_TRUE(TKod::InRange(1, 1, 10));
    EXPECT_TRUE(TKod::InRange(10, 1, 10));
    EXPECT_FALSE(TKod::InRange(0, 1, 10));
    EXPECT_FALSE(TKod::InRange(11, 1, 10));
    EXPECT_FALSE(TKod::InRange(-1, 1, 10));
    EXPECT_FALSE(TKod::InRange(INT_MIN, 1, 10));
    EXPECT_TRUE(TKod::InRange(-5, -10, -1));
}

TEST(TKod, EmptyTextStaysEmptyWhateverTheNumbers) {
    for (int method = -1; method <= 12; ++method) {
        for (int key = -1; key <= 8; ++key) {
            EXPECT_EQ(Kod.Encode("", method, key), "");
            EXPECT_EQ(Kod.Decode("", method, key), "");
        }
    }
}

TEST(TKod, InvalidNumbersAndPlainMethodsGiveTheTextBack) {
    const ByteString text = "C:\\Program Files\\Vokarion\\";
    const std::pair<int, int> invalid[] = {{0, 5}, {11, 5}, {-1, 5}, {INT_MIN, 5}, {INT_MAX, 5},
                                           {2, 0}, {2, 7},  {5, -3}, {5, INT_MAX}, {0, 0}};
    for (const auto& [method, key] : invalid) {
        EXPECT_EQ(Kod.Encode(text, method, key), text) << method << "/" << key;
        EXPECT_EQ(Kod.Decode(text, method, key), text) << method << "/" << key;
    }
    for (int method = 7; method <= 10; ++method) {
        for (int key = 1; key <= 6; ++key) {
            EXPECT_EQ(Kod.Encode(text, method, key), text);
            EXPECT_EQ(Kod.Decode(text, method, key), text);
        }
    }
}

TEST(TKod, DecodeUndoesEncodeForEveryValidMethodAndKey) {
    const ByteString all = AllByteValues();
    const ByteString reversed(all.rbegin(), all.rend());
    const std::vector<ByteString> texts = RandomTexts(20240611, 150);
    for (int method = 1; method <= 10; ++method) {
        for (int key = 1; key <= 6; ++key) {
            EXPECT_EQ(Kod.Decode(Kod.Encode(all, method, key), method, key), all) << method << "/" << key;
            EXPECT_EQ(Kod.Decode(Kod.Encode(reversed, method, key), method, key), reversed) << method << "/" << key;
            for (const ByteString& text : texts) {
                ASSERT_EQ(Kod.Decode(Kod.Encode(text, method, key), method, key), text)
                    << method << "/" << key << " " << Hex(text);
            }
        }
    }
}

TEST(TKod, ShiftKeepsTheLengthAndMovesOnlyBytesFromThirtyUp) {
    const ByteString all = AllByteValues();
    const ByteString low = all.substr(0, 30);
    for (int method = 1; method <= 3; ++method) {
        for (int key = 1; key <= 6; ++key) {
            const ByteString scrambled = Kod.Encode(all, method, key);
            ASSERT_EQ(scrambled.size(), all.size());
            EXPECT_EQ(scrambled.substr(0, 30), low);
            for (std::size_t i = 30; i < all.size(); ++i) {
                const auto byte = static_cast<unsigned char>(scrambled[i]);
                EXPECT_GE(byte, 30);
                EXPECT_NE(scrambled[i], all[i]) << "position " << i << " left unscrambled";
            }
            EXPECT_EQ(Kod.Encode(low, method, key), low);
            EXPECT_EQ(Kod.Decode(low, method, key), low);
        }
    }
}

TEST(TKod, ShiftKeyPositionFollowsTheLength) {
    for (int method = 1; method <= 3; ++method) {
        for (int key = 1; key <= 6; ++key) {
            const ByteString one = Kod.Encode("K", method, key);
            const ByteString two = Kod.Encode("KK", method, key);
            EXPECT_NE(one[0], two[0]) << method << "/" << key;
            // Within one text the same byte takes a different key at the next position.
            EXPECT_NE(two[0], two[1]) << method << "/" << key;
        }
    }
}

TEST(TKod, XorResultIsSafeAsARegistryString) {
    std::vector<ByteString> texts = RandomTexts(7, 100);
    texts.push_back(AllByteValues());
    texts.push_back(ByteString(40, '@'));
    texts.push_back(ByteString(40, '\0'));
    for (int method = 4; method <= 6; ++method) {
        for (int key = 1; key <= 6; ++key) {
            for (const ByteString& text : texts) {
                const ByteString scrambled = Kod.Encode(text, method, key);
                ASSERT_GE(scrambled.size(), text.size() + 1);
                ASSERT_LE(scrambled.size(), 2 * text.size() + 1);
                std::size_t escapes = 0;
                for (std::size_t i = 0; i < scrambled.size(); ++i) {
                    const auto byte = static_cast<unsigned char>(scrambled[i]);
                    ASSERT_GT(byte, 32) << "reserved byte at " << i << " of " << Hex(scrambled);
                    if (byte == 64) {
                        // An escape: never the check byte, always followed by a reserved byte plus 70.
                        ASSERT_LT(i + 1, scrambled.size() - 1) << Hex(scrambled);
                        const auto escaped = static_cast<unsigned char>(scrambled[++i] - 70);
                        EXPECT_TRUE(IsReserved(escaped)) << Hex(scrambled);
                        ++escapes;
                    }
                }
                EXPECT_EQ(scrambled.size(), text.size() + 1 + escapes);
            }
        }
    }
}

TEST(TKod, XorCheckByteEndsTheResultAndIsMovedWhenReserved) {
    // The check byte is 10 XOR every byte: one byte of value 10 ^ 5 gives check 5, which is reserved and
    // therefore written as 75.
    const ByteString reservedCheck(1, static_cast<char>(10 ^ 5));
    const ByteString plainCheck(1, static_cast<char>(10 ^ 'z'));
    for (int method = 4; method <= 6; ++method) {
        for (int key = 1; key <= 6; ++key) {
            EXPECT_EQ(static_cast<unsigned char>(Kod.Encode(reservedCheck, method, key).back()), 75);
            EXPECT_EQ(Kod.Encode(plainCheck, method, key).back(), 'z');
            const ByteString atSignCheck(1, static_cast<char>(10 ^ 64));
            EXPECT_EQ(static_cast<unsigned char>(Kod.Encode(atSignCheck, method, key).back()), 134);
        }
    }
}

TEST(TKod, XorDecodeOfShortOrDamagedTextsStaysInsideTheText) {
    for (int method = 4; method <= 6; ++method) {
        for (int key = 1; key <= 6; ++key) {
            EXPECT_EQ(Kod.Decode("x", method, key), "");
            EXPECT_EQ(Kod.Decode("@", method, key), "");
            // An escape just before the check byte takes the check byte as its escaped byte: one byte out.
            EXPECT_EQ(Kod.Decode("@x", method, key).size(), 1u);
            EXPECT_EQ(Kod.Decode("ab@", method, key).size(), 2u);
            EXPECT_EQ(Kod.Decode("a@@", method, key).size(), 2u);
        }
    }
}

// Installed products hold their directory under these exact names: a change to the key tables or to the
// methods would make every existing record unreadable.
TEST(TKod, RecordNamesOfInstalledProductsStayTheSame) {
    EXPECT_EQ(Hex(Kod.Encode("Katalog", 2, 5)), "a988a0e431feee");
    EXPECT_EQ(Hex(Kod.Encode("Katalog", 5, 5)), "36f58d80405253aa51");
    EXPECT_EQ(Kod.Encode("Katalog", 8, 5), "Katalog");
}

}  // namespace
}  // namespace patcher

// The flag buttons' pictures as patchkit draws them, and read back and composed as the window shows them.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <vector>

#include "app/FlagGlyph.h"
#include "tools/glyphs/FlagDrawing.h"

namespace patcher {
namespace {

using C = MainControl;

constexpr std::array<MainControl, 4> kFlags = {C::btnPolski, C::btnAngielski, C::btnNiemiecki, C::btnFrancuski};
constexpr std::uint32_t kFrameGrey = 0x808080;
constexpr std::size_t kFileHeaderSize = 14;

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
                                      bytes.at(at + 3) << 24);
}

// The bitmap as a BITMAP resource holds it: the file without its file header.
GlyphImage Decode(const std::vector<std::uint8_t>& file) {
    return ReadGlyph(std::span(file).subspan(kFileHeaderSize));
}

TEST(FlagGlyphs, AreFourBitBitmapsOf32By18Pixels) {
    for (const MainControl flag : kFlags) {
        const std::vector<std::uint8_t> file = glyphs::FlagGlyphFile(flag);
        ASSERT_GE(file.size(), 54U);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(Read32(file, 2), file.size());              // the file header's size field
        EXPECT_EQ(Read32(file, 10), 14U + 40U + 16U * 4U);    // the pixels follow the 16-entry palette
        EXPECT_EQ(Read32(file, 14), 40U);                     // BITMAPINFOHEADER
        EXPECT_EQ(Read32(file, 18), 32U);                     // width
        EXPECT_EQ(Read32(file, 22), 18U);                     // height, rows bottom-up
        EXPECT_EQ(file.at(28) | file.at(29) << 8, 4);         // bits per pixel
        EXPECT_EQ(Read32(file, 30), 0U);                      // uncompressed
        EXPECT_EQ(Read32(file, 46), 16U);                     // colours used
        EXPECT_EQ(file.size(), 14U + 40U + 64U + 16U * 18U);  // 32 pixels of 4 bits are 16 bytes a row

        const GlyphImage image = Decode(file);
        EXPECT_EQ(image.Width, kGlyphWidth);
        EXPECT_EQ(image.Height, kGlyphHeight);
    }
}

TEST(FlagGlyphs, FrameTheirFlagInGreyThatIsUsedNowhereElse) {
    for (const MainControl flag : kFlags) {
        const GlyphImage image = Decode(glyphs::FlagGlyphFile(flag));
        for (int y = 0; y < image.Height; ++y) {
            for (int x = 0; x < image.Width; ++x) {
                const bool frame = x == 0 || y == 0 || x == image.Width - 1 || y == image.Height - 1;
                EXPECT_EQ(image.At(x, y) == kFrameGrey, frame)
                    << "flag " << static_cast<int>(flag) << " at " << x << "," << y;
            }
        }
        // The see-through colour is the bottom-left pixel's: the frame.
        EXPECT_EQ(image.At(0, image.Height - 1), kFrameGrey);
    }
}

TEST(FlagGlyphs, AreTheSameBytesEveryTime) {
    for (const MainControl flag : kFlags) {
        EXPECT_EQ(glyphs::FlagGlyphFile(flag), glyphs::FlagGlyphFile(flag));
    }
    EXPECT_THROW(glyphs::FlagGlyphFile(C::btnUpdate), std::invalid_argument);
}

TEST(FlagGlyphs, ShowEachFlagInItsOwnColours) {
    const auto coloursOf = [](MainControl flag) {
        const GlyphImage image = Decode(glyphs::FlagGlyphFile(flag));
        std::set<std::uint32_t> colours;
        for (int y = 1; y < image.Height - 1; ++y) {
            for (int x = 1; x < image.Width - 1; ++x) {
                colours.insert(image.At(x, y));
            }
        }
        return std::pair{image, colours};
    };
    const auto isRed = [](std::uint32_t rgb) {
        return (rgb >> 16) > 180 && (rgb >> 8 & 0xFF) < 80 && (rgb & 0xFF) < 80;
    };
    const auto isWhite = [](std::uint32_t rgb) { return rgb == 0xFFFFFF; };

    // Poland: white over red, split in the middle.
    const auto [poland, polish] = coloursOf(C::btnPolski);
    EXPECT_EQ(polish.size(), 2U);
    EXPECT_TRUE(isWhite(poland.At(15, 1)));
    EXPECT_TRUE(isWhite(poland.At(15, 8)));
    EXPECT_TRUE(isRed(poland.At(15, 9)));
    EXPECT_TRUE(isRed(poland.At(15, 16)));

    // The United Kingdom: navy, red and white, with the red cross through the middle and a navy field in each
    // corner between the diagonals.
    const auto [union_, unionColours] = coloursOf(C::btnAngielski);
    EXPECT_EQ(unionColours.size(), 3U);
    EXPECT_TRUE(isRed(union_.At(15, 9)));
    EXPECT_TRUE(isRed(union_.At(15, 2)));
    EXPECT_TRUE(isRed(union_.At(3, 9)));
    const std::uint32_t navy = union_.At(10, 2);
    EXPECT_LT(navy >> 16, 40U);
    EXPECT_GT(navy & 0xFF, 80U);
    EXPECT_EQ(union_.At(21, 2), navy);
    EXPECT_EQ(union_.At(10, 15), navy);
    EXPECT_EQ(union_.At(21, 15), navy);
    // The white diagonals reach the corners.
    EXPECT_TRUE(isWhite(union_.At(1, 1)) || isRed(union_.At(1, 1)));
    EXPECT_TRUE(isWhite(union_.At(30, 16)) || isRed(union_.At(30, 16)));
    // In the upper hoist quarter the red diagonal lies below the centre line of the white one, the broad
    // white above it.
    int redInQuarter = 0;
    for (int y = 1; y <= 5; ++y) {
        for (int x = 1; x <= 12; ++x) {
            if (isRed(union_.At(x, y))) {
                ++redInQuarter;
                // Pixel centre (x - 1/2, y - 1/2) of the flag against its diagonal y / 16 = x / 30.
                EXPECT_GT((2 * y - 1) * 30, (2 * x - 1) * 16) << x << "," << y;
            }
        }
    }
    EXPECT_GT(redInQuarter, 0);
    // Turned half round, the flag looks the same.
    for (int y = 1; y <= 16; ++y) {
        for (int x = 1; x <= 30; ++x) {
            EXPECT_EQ(union_.At(x, y), union_.At(31 - x, 17 - y)) << x << "," << y;
        }
    }

    // Germany: black, red, gold from the top.
    const auto [germany, german] = coloursOf(C::btnNiemiecki);
    EXPECT_EQ(german.size(), 3U);
    EXPECT_EQ(germany.At(15, 1), 0x000000U);
    EXPECT_TRUE(isRed(germany.At(15, 8)));
    const std::uint32_t gold = germany.At(15, 16);
    EXPECT_GT(gold >> 16, 200U);
    EXPECT_GT(gold >> 8 & 0xFF, 150U);
    EXPECT_LT(gold & 0xFF, 60U);

    // France: blue, white, red from the hoist.
    const auto [france, french] = coloursOf(C::btnFrancuski);
    EXPECT_EQ(french.size(), 3U);
    const std::uint32_t blue = france.At(2, 8);
    EXPECT_GT(blue & 0xFF, 120U);
    EXPECT_LT(blue >> 16, 40U);
    EXPECT_TRUE(isWhite(france.At(15, 8)));
    EXPECT_TRUE(isRed(france.At(29, 8)));

    // No two flags are the same picture.
    for (std::size_t i = 0; i < kFlags.size(); ++i) {
        for (std::size_t j = i + 1; j < kFlags.size(); ++j) {
            EXPECT_NE(glyphs::FlagGlyphFile(kFlags[i]), glyphs::FlagGlyphFile(kFlags[j]));
        }
    }
}

TEST(FlagGlyphs, ComposeOverTheFaceAtAnySize) {
    constexpr std::uint32_t kFace = 0xF0F0F0;
    const GlyphImage glyph = Decode(glyphs::FlagGlyphFile(C::btnPolski));

    const GlyphImage same = ComposeGlyph(glyph, kFace, kGlyphWidth, kGlyphHeight);
    for (int y = 0; y < kGlyphHeight; ++y) {
        for (int x = 0; x < kGlyphWidth; ++x) {
            EXPECT_EQ(same.At(x, y), glyph.At(x, y) == kFrameGrey ? kFace : glyph.At(x, y));
        }
    }

    // At 144 DPI: 48 x 27, each pixel taken from the one under its centre.
    const GlyphImage large = ComposeGlyph(glyph, kFace, 48, 27);
    ASSERT_EQ(large.Width, 48);
    ASSERT_EQ(large.Height, 27);
    EXPECT_EQ(large.At(0, 0), kFace);
    EXPECT_EQ(large.At(47, 26), kFace);
    EXPECT_EQ(large.At(2, 2), glyph.At(1, 1));
    EXPECT_EQ(large.At(24, 24), glyph.At(16, 16));
    EXPECT_EQ(large.At(24, 25), kFace);  // under the frame's bottom row
    for (int y = 0; y < 27; ++y) {
        for (int x = 0; x < 48; ++x) {
            // The centre (x + 1/2, y + 1/2) of a target pixel lies at two thirds of that in the glyph.
            const std::uint32_t source = glyph.At((2 * x + 1) / 3, (2 * y + 1) / 3);
            EXPECT_EQ(large.At(x, y), source == kFrameGrey ? kFace : source) << x << "," << y;
        }
    }
}

TEST(FlagGlyphs, ReadingRefusesOtherBitmaps) {
    const std::vector<std::uint8_t> file = glyphs::FlagGlyphFile(C::btnNiemiecki);
    std::vector<std::uint8_t> dib(file.begin() + kFileHeaderSize, file.end());
    ASSERT_NO_THROW(ReadGlyph(dib));

    std::vector<std::uint8_t> eightBit = dib;
    eightBit[14] = 8;
    EXPECT_THROW(ReadGlyph(eightBit), std::invalid_argument);

    std::vector<std::uint8_t> compressed = dib;
    compressed[16] = 2;  // BI_RLE4
    EXPECT_THROW(ReadGlyph(compressed), std::invalid_argument);

    const std::vector<std::uint8_t> truncated(dib.begin(), dib.end() - 1);
    EXPECT_THROW(ReadGlyph(truncated), std::invalid_argument);

    std::vector<std::uint8_t> smallPalette = dib;
    smallPalette[32] = 2;  // two colours, while the pixels use more
    EXPECT_THROW(ReadGlyph(smallPalette), std::invalid_argument);

    // Top-down rows read as the same picture.
    std::vector<std::uint8_t> topDown = dib;
    const std::int32_t negative = -kGlyphHeight;
    for (int i = 0; i < 4; ++i) {
        topDown[8 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(negative) >> (8 * i));
    }
    const std::size_t rows = 40 + 64;
    for (int y = 0; y < kGlyphHeight; ++y) {
        std::copy_n(
            dib.begin() + static_cast<std::ptrdiff_t>(rows + 16 * static_cast<std::size_t>(kGlyphHeight - 1 - y)), 16,
            topDown.begin() + static_cast<std::ptrdiff_t>(rows + 16 * static_cast<std::size_t>(y)));
    }
    EXPECT_EQ(ReadGlyph(topDown).Pixels, ReadGlyph(dib).Pixels);
}

}  // namespace
}  // namespace patcher

#include "tools/glyphs/FlagDrawing.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "app/FlagGlyph.h"

namespace patcher::glyphs {
namespace {

// Palette indices. The frame's grey is the see-through colour, so no flag may use it.
enum Ink : std::uint8_t {
    kBlack,
    kFrameGrey,
    kWhite,
    kPolishRed,
    kUnionNavy,
    kUnionRed,
    kGermanRed,
    kGermanGold,
    kFrenchBlue,
    kFrenchRed,
};

struct Rgb {
    std::uint8_t Red, Green, Blue;
};

// Sixteen entries; the ones after the last ink stay black.
constexpr std::array<Rgb, 16> kPalette = {{
    {0, 0, 0},
    {128, 128, 128},
    {255, 255, 255},
    {220, 20, 60},
    {1, 33, 105},
    {200, 16, 46},
    {221, 0, 0},
    {255, 206, 0},
    {0, 85, 164},
    {239, 65, 53},
}};

constexpr int kFlagWidth = kGlyphWidth - 2;
constexpr int kFlagHeight = kGlyphHeight - 2;

Ink Poland(int, int y) {
    return y < kFlagHeight / 2 ? kWhite : kPolishRed;
}

// Three horizontal bands, each pixel in the band under its centre.
Ink Germany(int, int y) {
    const int band = (2 * y + 1) * 3 / (2 * kFlagHeight);
    return band == 0 ? kBlack : band == 1 ? kGermanRed : kGermanGold;
}

Ink France(int x, int) {
    const int band = (2 * x + 1) * 3 / (2 * kFlagWidth);
    return band == 0 ? kFrenchBlue : band == 1 ? kWhite : kFrenchRed;
}

// The Union Flag is drawn on its usual 60 x 30 plan, sampled at each pixel's centre. In integer units of
// 1/16 of the plan's width unit and 1/32 of its height unit, so that no rounding enters: a pixel centre
// (x + 1/2, y + 1/2) of the 30 x 16 flag lies at (u, v) = (16 (2x + 1), 15 (2y + 1)) of a 960 x 480 plan.
Ink UnitedKingdom(int x, int y) {
    constexpr std::int64_t kScale = 16;  // plan units to (u, v) units
    constexpr std::int64_t kWidth = 60 * kScale;
    constexpr std::int64_t kHeight = 30 * kScale;
    const std::int64_t u = 16 * (2 * x + 1);
    const std::int64_t v = 15 * (2 * y + 1);

    // The cross of St George: white 10 wide with red 6 wide on it.
    const std::int64_t fromVertical = std::llabs(2 * u - kWidth);     // twice the distance
    const std::int64_t fromHorizontal = std::llabs(2 * v - kHeight);  // twice the distance
    if (fromVertical < 6 * kScale || fromHorizontal < 6 * kScale) {
        return kUnionRed;
    }
    if (fromVertical < 10 * kScale || fromHorizontal < 10 * kScale) {
        return kWhite;
    }

    // The saltires: white 6 wide along both diagonals. The red one, 2 wide, lies beside the centre line
    // of the white, counterchanged: below it in the hoist half, above it in the fly half, so that the flag
    // looks the same turned half round.
    const bool hoist = 2 * u < kWidth;
    const bool top = 2 * v < kHeight;
    // The diagonal through the pixel's quarter, from the top-left corner (falling) or from the bottom-left
    // one (rising). `across` is the signed distance from it times the diagonal's length: positive below the
    // falling diagonal and above the rising one.
    const bool falling = hoist == top;
    const std::int64_t across = falling ? v * kWidth - u * kHeight : (kHeight - v) * kWidth - u * kHeight;
    const std::int64_t lengthSquared = kWidth * kWidth + kHeight * kHeight;
    // Whether the distance exceeds `planUnits`, decided on squares, without a square root.
    const auto beyond = [&](std::int64_t planUnits) {
        const std::int64_t bound = planUnits * kScale;
        const std::int64_t boundSquared = bound * bound * lengthSquared;
        return bound >= 0 ? across > 0 && across * across > boundSquared
                          : across >= 0 || across * across < boundSquared;
    };
    const auto within = [&](std::int64_t from, std::int64_t to) { return beyond(from) && !beyond(to); };
    if (!within(-3, 3)) {
        return kUnionNavy;
    }
    const bool redOnPositiveSide = falling == hoist;  // below in the hoist half, above in the fly half
    return (redOnPositiveSide ? within(0, 2) : within(-2, 0)) ? kUnionRed : kWhite;
}

Ink FlagInk(MainControl flagButton, int x, int y) {
    switch (flagButton) {
        case MainControl::btnPolski:
            return Poland(x, y);
        case MainControl::btnAngielski:
            return UnitedKingdom(x, y);
        case MainControl::btnNiemiecki:
            return Germany(x, y);
        case MainControl::btnFrancuski:
            return France(x, y);
        default:
            throw std::invalid_argument("not a flag button");
    }
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> FlagGlyphFile(MainControl flagButton) {
    constexpr std::uint32_t kFileHeaderSize = 14;
    constexpr std::uint32_t kInfoHeaderSize = 40;
    constexpr std::uint32_t kPaletteSize = 16 * 4;
    constexpr std::uint32_t kStride = (kGlyphWidth * 4 + 31) / 32 * 4;
    constexpr std::uint32_t kPixelsAt = kFileHeaderSize + kInfoHeaderSize + kPaletteSize;
    constexpr std::uint32_t kPixelsSize = kStride * kGlyphHeight;
    constexpr std::uint32_t kPixelsPerMetre = 3780;  // 96 DPI

    std::array<std::array<Ink, kGlyphWidth>, kGlyphHeight> glyph{};
    for (int y = 0; y < kGlyphHeight; ++y) {
        for (int x = 0; x < kGlyphWidth; ++x) {
            const bool frame = x == 0 || y == 0 || x == kGlyphWidth - 1 || y == kGlyphHeight - 1;
            glyph[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] =
                frame ? kFrameGrey : FlagInk(flagButton, x - 1, y - 1);
        }
    }

    std::vector<std::uint8_t> file;
    file.reserve(kPixelsAt + kPixelsSize);
    file.push_back('B');
    file.push_back('M');
    Put32(file, kPixelsAt + kPixelsSize);
    Put32(file, 0);  // reserved
    Put32(file, kPixelsAt);

    Put32(file, kInfoHeaderSize);
    Put32(file, kGlyphWidth);
    Put32(file, kGlyphHeight);  // positive: bottom-up rows
    Put16(file, 1);             // planes
    Put16(file, 4);             // bits per pixel
    Put32(file, 0);             // no compression
    Put32(file, kPixelsSize);
    Put32(file, kPixelsPerMetre);
    Put32(file, kPixelsPerMetre);
    Put32(file, static_cast<std::uint32_t>(kPalette.size()));
    Put32(file, 0);  // every colour is important

    for (const Rgb& colour : kPalette) {
        file.push_back(colour.Blue);
        file.push_back(colour.Green);
        file.push_back(colour.Red);
        file.push_back(0);
    }
    for (int y = kGlyphHeight - 1; y >= 0; --y) {
        const auto& row = glyph[static_cast<std::size_t>(y)];
        for (std::size_t x = 0; x < row.size(); x += 2) {
            file.push_back(static_cast<std::uint8_t>(row[x] << 4 | row[x + 1]));
        }
    }
    return file;
}

}  // namespace patcher::glyphs

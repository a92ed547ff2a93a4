#include "app/FlagGlyph.h"

#include <stdexcept>

namespace patcher {
namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr int kBitsPerPixel = 4;
constexpr int kPaletteMax = 16;

std::uint32_t Read16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return Read16(bytes, at) | Read16(bytes, at + 2) << 16;
}

}  // namespace

ByteStringView FlagGlyphResourceName(MainControl flagButton) noexcept {
    switch (flagButton) {
        case MainControl::btnPolski:
            return "FLAG_PL";
        case MainControl::btnAngielski:
            return "FLAG_EN";
        case MainControl::btnNiemiecki:
            return "FLAG_DE";
        case MainControl::btnFrancuski:
            return "FLAG_FR";
        default:
            return {};
    }
}

GlyphImage ReadGlyph(std::span<const std::uint8_t> dib) {
    if (dib.size() < kInfoHeaderSize || Read32(dib, 0) != kInfoHeaderSize) {
        throw std::invalid_argument("not a bitmap with a 40-byte header");
    }
    const auto width = static_cast<std::int32_t>(Read32(dib, 4));
    const auto signedHeight = static_cast<std::int32_t>(Read32(dib, 8));
    const std::uint32_t planes = Read16(dib, 12);
    const std::uint32_t bits = Read16(dib, 14);
    const std::uint32_t compression = Read32(dib, 16);
    const std::uint32_t coloursUsed = Read32(dib, 32);
    if (planes != 1 || bits != kBitsPerPixel || compression != 0) {
        throw std::invalid_argument("not an uncompressed bitmap of 4 bits per pixel");
    }
    // Small pictures only: the bounds keep every size computation below far from overflowing.
    const bool bottomUp = signedHeight > 0;
    const std::int32_t height = bottomUp ? signedHeight : -signedHeight;
    if (width <= 0 || width > 4096 || height <= 0 || height > 4096) {
        throw std::invalid_argument("bitmap size out of range");
    }
    const std::uint32_t paletteSize = coloursUsed == 0 ? kPaletteMax : coloursUsed;
    if (paletteSize > kPaletteMax) {
        throw std::invalid_argument("palette larger than 16 colours");
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * kBitsPerPixel + 31) / 32 * 4;
    const std::size_t rowsAt = kInfoHeaderSize + paletteSize * 4;
    if (dib.size() < rowsAt + stride * static_cast<std::size_t>(height)) {
        throw std::invalid_argument("bitmap truncated");
    }

    std::vector<std::uint32_t> palette(paletteSize);
    for (std::size_t i = 0; i < paletteSize; ++i) {
        const std::size_t at = kInfoHeaderSize + i * 4;  // blue, green, red, reserved
        palette[i] = static_cast<std::uint32_t>(dib[at + 2] << 16 | dib[at + 1] << 8 | dib[at]);
    }
    GlyphImage image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width * height))};
    for (int y = 0; y < height; ++y) {
        const std::size_t row = rowsAt + stride * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t pair = dib[row + static_cast<std::size_t>(x / 2)];
            const std::size_t index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
            if (index >= paletteSize) {
                throw std::invalid_argument("pixel outside the palette");
            }
            image.Pixels[static_cast<std::size_t>(y * width + x)] = palette[index];
        }
    }
    return image;
}

GlyphImage ComposeGlyph(const GlyphImage& glyph, std::uint32_t face, int width, int height) {
    if (glyph.Width <= 0 || glyph.Height <= 0 || width <= 0 || height <= 0) {
        throw std::invalid_argument("empty picture");
    }
    const std::uint32_t seeThrough = glyph.At(0, glyph.Height - 1);
    GlyphImage composed{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        // The source pixel under the centre of each target pixel.
        const int sourceY = static_cast<int>((2LL * y + 1) * glyph.Height / (2LL * height));
        for (int x = 0; x < width; ++x) {
            const int sourceX = static_cast<int>((2LL * x + 1) * glyph.Width / (2LL * width));
            const std::uint32_t pixel = glyph.At(sourceX, sourceY);
            composed.Pixels[static_cast<std::size_t>(y * width + x)] = pixel == seeThrough ? face : pixel;
        }
    }
    return composed;
}

}  // namespace patcher

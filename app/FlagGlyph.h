#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "app/MainWindowDesign.h"
#include "common/ByteString.h"

namespace patcher {

// Each flag button shows a 16-colour picture of 32 x 18 pixels at 96 DPI: a 30 x 16 flag inside a one-pixel
// frame. The colour of its bottom-left pixel is see-through, so the frame shows the button's face.
inline constexpr int kGlyphWidth = 32;
inline constexpr int kGlyphHeight = 18;

// The name of the BITMAP resource that holds a flag button's picture; empty for other components.
ByteStringView FlagGlyphResourceName(MainControl flagButton) noexcept;

// A picture as 0xRRGGBB pixels, row by row from the top.
struct GlyphImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;

    std::uint32_t At(int x, int y) const { return Pixels.at(static_cast<std::size_t>(y * Width + x)); }
};

// Reads a device-independent bitmap of 4 bits per pixel as a BITMAP resource holds it: the 40-byte header,
// the palette and the rows (a .bmp file without its 14-byte file header). Rows may run bottom-up or
// top-down. Throws std::invalid_argument for any other layout or a truncated bitmap.
GlyphImage ReadGlyph(std::span<const std::uint8_t> dib);

// The picture as a flag button shows it: scaled to width x height by taking the nearest pixel, with every
// pixel of the see-through colour (that of the bottom-left pixel) replaced by the face colour.
GlyphImage ComposeGlyph(const GlyphImage& glyph, std::uint32_t face, int width, int height);

}  // namespace patcher

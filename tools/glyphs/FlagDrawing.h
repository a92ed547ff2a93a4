#pragma once

#include <cstdint>
#include <vector>

#include "app/MainWindowDesign.h"

namespace patcher::glyphs {

// The picture of a flag button as a .bmp file: 32 x 18 pixels, 4 bits per pixel, rows bottom-up, a palette
// of 16 colours shared by the four flags, a one-pixel frame of grey (128, 128, 128) around a 30 x 16 flag:
// Poland (btnPolski), the United Kingdom (btnAngielski), Germany (btnNiemiecki), France (btnFrancuski). The
// same bytes every time. Throws std::invalid_argument for a component that is not a flag button.
std::vector<std::uint8_t> FlagGlyphFile(MainControl flagButton);

}  // namespace patcher::glyphs

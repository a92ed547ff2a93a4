#pragma once

#include <windows.h>

#include <optional>

#include "app/FlagGlyph.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {

// A flag's picture from the program's BITMAP resources, or nothing when the program carries none (the button
// then shows its text).
std::optional<GlyphImage> LoadFlagGlyph(MainControl flagButton);

// The bitmap that a flag button shows at the DPI: the picture scaled, on the system's button face colour.
// Throws PlatformError.
win32::UniqueBitmap CreateFlagBitmap(const GlyphImage& glyph, int dpi);

}  // namespace patcher

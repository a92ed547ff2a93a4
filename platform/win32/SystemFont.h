#pragma once

#include "platform/Font.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher::win32 {

// The system font for a font's settings, its character height scaled from 96 DPI to the given DPI (rounded
// half away from zero, as the window system scales). Throws PlatformError when the system refuses it.
UniqueFont CreateSystemFont(const FontDescription& font, int dpi = 96);

}  // namespace patcher::win32

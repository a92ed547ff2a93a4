#pragma once

#include <memory>

#include "lang/DialogLayout.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher::win32 {

// Measures lines as the dialog's label draws them, in `font` on a device context of its own; `codePage`
// decodes the bytes of a line. Throws PlatformError when the font cannot be selected for measuring, and
// LineWidth throws when a line cannot be measured: a width of 0 would lay the dialog out for no text.
std::unique_ptr<TextMeasure> MeasureInFont(UniqueFont font, unsigned codePage);

}  // namespace patcher::win32

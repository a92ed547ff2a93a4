#include "platform/win32/SystemFont.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/PlatformError.h"
#include "platform/win32/WideText.h"

namespace patcher::win32 {

UniqueFont CreateSystemFont(const FontDescription& font, int dpi) {
    LOGFONTW settings{};
    settings.lfHeight = -::MulDiv(font.Height(), dpi, 96);  // negative: the character height
    settings.lfWeight = font.Bold() ? FW_BOLD : FW_NORMAL;
    settings.lfCharSet = font.Charset();
    settings.lfOutPrecision = OUT_DEFAULT_PRECIS;
    settings.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    settings.lfQuality = DEFAULT_QUALITY;
    settings.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::wstring face = WideFromBytes(font.FaceName(), kCodePageCentralEurope);
    const std::size_t faceLength = std::min(face.size(), std::size(settings.lfFaceName) - 1);
    std::copy_n(face.begin(), faceLength, settings.lfFaceName);
    UniqueFont created(::CreateFontIndirectW(&settings));
    if (!created) {
        throw PlatformError("CreateFontIndirectW", ::GetLastError());
    }
    return created;
}

}  // namespace patcher::win32

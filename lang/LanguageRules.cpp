#include "lang/LanguageRules.h"

namespace patcher {

unsigned CharsetCodePage(std::uint8_t charset) noexcept {
    switch (charset) {
        case kCharsetAnsi:
            return 1252;
        case kCharsetRussian:
            return 1251;
        default:
            return 1250;
    }
}

void ApplyLanguageFont(Font& font, LanguageCode language) {
    font.SetFaceName(kLanguageFontFace);
    font.SetCharset(language < kLanguageCount ? LanguageCharset[language] : LanguageCharset[kPolish]);
}

}  // namespace patcher

#include "lang/LanguageRules.h"

namespace patcher {

unsigned TextCodePage(LanguageCode) noexcept {
    return kTextCodePage;
}

void ApplyLanguageFont(Font& font, LanguageCode language) {
    font.SetFaceName(kLanguageFontFace);
    font.SetCharset(language < kLanguageCount ? LanguageCharset[language] : LanguageCharset[kPolish]);
}

}  // namespace patcher

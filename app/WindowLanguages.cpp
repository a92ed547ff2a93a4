#include "app/WindowLanguages.h"

namespace patcher {

bool WindowOffersLanguage(const ProductProfile& profile, LanguageCode language) {
    if (language == kPolish) {
        return true;
    }
    if (language != profile.ProductLanguage) {
        return false;
    }
    return !(language == kEnglish && (profile.ProductKind == 4 || profile.ProductKind == 5));
}

LanguageCode StartingDisplayLanguage(const ProductProfile& profile, LanguageCode detected) {
    return detected == profile.ProductLanguage ? detected : kPolish;
}

}  // namespace patcher

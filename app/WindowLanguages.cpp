#include "app/WindowLanguages.h"

#include "profile/ProductKinds.h"

namespace patcher {

bool WindowOffersLanguage(const ProductProfile& profile, LanguageCode language) {
    if (language == kPolish) {
        return true;
    }
    if (language != profile.ProductLanguage) {
        return false;
    }
    return !(language == kEnglish && HidesEnglishFlag(profile.ProductKind));
}

LanguageCode StartingDisplayLanguage(const ProductProfile& profile, LanguageCode detected) {
    return detected == profile.ProductLanguage ? detected : kPolish;
}

}  // namespace patcher

#pragma once

#include "common/LanguageCode.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The display languages that the main window offers a flag for: Polish always, and the product's foreign
// language, except English for the kinds that hide its flag (HidesEnglishFlag).
bool WindowOffersLanguage(const ProductProfile& profile, LanguageCode language);

// The language that the window starts in: the user's (as detected from the locale) where it is the
// product's foreign language, else Polish.
LanguageCode StartingDisplayLanguage(const ProductProfile& profile, LanguageCode detected);

}  // namespace patcher

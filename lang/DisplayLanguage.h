#pragma once

#include <cstdint>

#include "common/LanguageCode.h"

namespace patcher {

// The language suggested by a Windows locale identifier: Polish 1045 -> 0, French (France) 1036 -> 2, the
// five German locales -> 3, Italian (Italy) 1040 -> 4, Spanish (Spain, traditional sort) 1034 -> 5,
// Russian 1049 -> 6, and every other identifier -> 0. No identifier gives English.
LanguageCode LanguageFromLocaleId(std::uint32_t localeId) noexcept;

// The language suggested by the locale of the calling thread.
LanguageCode DetectDisplayLanguage();

}  // namespace patcher

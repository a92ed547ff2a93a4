#include "lang/DisplayLanguage.h"

#include "platform/Locale.h"

namespace patcher {

LanguageCode LanguageFromLocaleId(std::uint32_t localeId) noexcept {
    switch (localeId) {
        case 1045:
            return kPolish;
        case 1036:
            return kFrench;
        case 1031:  // Germany
        case 2055:  // Switzerland
        case 3079:  // Austria
        case 4103:  // Luxembourg
        case 5127:  // Liechtenstein
            return kGerman;
        case 1040:
            return kItalian;
        case 1034:
            return kSpanish;
        case 1049:
            return kRussian;
        default:
            // English locales too: English is only ever chosen with its button in the main window.
            return kPolish;
    }
}

LanguageCode DetectDisplayLanguage() {
    return LanguageFromLocaleId(ThreadLocaleId());
}

}  // namespace patcher

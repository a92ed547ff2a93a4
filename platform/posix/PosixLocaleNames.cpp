#include "platform/posix/PosixLocaleNames.h"

#include <cstdlib>

namespace patcher {
namespace {

struct LocaleName {
    std::string_view Name;  // language, or language_TERRITORY
    std::uint32_t LocaleId;
};

// The languages of the product family with their countries, English, and a few neighbours; a language
// alone stands for its main country, as a neutral locale does on Windows.
constexpr LocaleName kLocaleNames[] = {
    {"pl_PL", 0x0415}, {"pl", 0x0415},

    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409}, {"en_IE", 0x1809},
    {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en", 0x0409},

    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"de", 0x0407},

    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"fr_MC", 0x180C},
    {"fr", 0x040C},

    {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"it", 0x0410},

    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_CO", 0x240A}, {"es_AR", 0x2C0A}, {"es_CL", 0x340A}, {"es_US", 0x540A},
    {"es", 0x0C0A},

    {"ru_RU", 0x0419}, {"ru", 0x0419},

    {"cs_CZ", 0x0405}, {"sk_SK", 0x041B}, {"hu_HU", 0x040E}, {"uk_UA", 0x0422}, {"nl_NL", 0x0413}, {"pt_PT", 0x0816},
    {"pt_BR", 0x0416},
};

constexpr std::uint32_t kSpanishTraditionalSort = 0x040A;

}  // namespace

std::uint32_t LocaleIdFromPosixName(std::string_view name) {
    std::string_view modifier;
    if (const auto at = name.find('@'); at != std::string_view::npos) {
        modifier = name.substr(at + 1);
        name = name.substr(0, at);
    }
    if (const auto dot = name.find('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    if (name.empty() || name == "C" || name == "POSIX") {
        return kLocaleIdEnglishUnitedStates;
    }
    if (name == "es_ES" && modifier == "tradnl") {
        return kSpanishTraditionalSort;
    }
    for (const LocaleName& known : kLocaleNames) {
        if (known.Name == name) {
            return known.LocaleId;
        }
    }
    return kLocaleIdUnknown;
}

std::string PosixMessageLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

}  // namespace patcher

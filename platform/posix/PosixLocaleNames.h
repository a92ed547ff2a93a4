#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace patcher {

// Locale identifiers that stand for no particular language and country.
inline constexpr std::uint32_t kLocaleIdEnglishUnitedStates = 0x0409;  // what Windows assumes without a locale
inline constexpr std::uint32_t kLocaleIdUnknown = 0x1000;              // LOCALE_CUSTOM_UNSPECIFIED

// The Windows locale identifier for a POSIX locale name "language[_TERRITORY][.codeset][@modifier]", e.g.
// "de_AT.UTF-8" -> 3079. The codeset is ignored; the modifier "@tradnl" selects the traditional sort of
// Spanish (1034), since a plain "es_ES" is the modern sort (3082) as on Windows. "C", "POSIX" and the empty
// name give 1033; a name without a Windows identifier gives kLocaleIdUnknown.
std::uint32_t LocaleIdFromPosixName(std::string_view name);

// The POSIX name that decides the message language: the first of LC_ALL, LC_MESSAGES and LANG that is set
// and not empty, or the empty name.
std::string PosixMessageLocaleName();

}  // namespace patcher

#pragma once

#include <array>
#include <cstdint>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "platform/Font.h"

namespace patcher {

// Windows character set numbers as fonts carry them.
inline constexpr std::uint8_t kCharsetAnsi = 0;
inline constexpr std::uint8_t kCharsetDefault = 1;
inline constexpr std::uint8_t kCharsetRussian = 204;
inline constexpr std::uint8_t kCharsetEastEurope = 238;

// The character set of every font that shows a language's texts, by language code.
inline constexpr std::array<std::uint8_t, kLanguageCount> LanguageCharset = {
    kCharsetEastEurope,  // Polish
    kCharsetEastEurope,  // English
    kCharsetAnsi,        // French
    kCharsetEastEurope,  // German
    kCharsetAnsi,        // Italian
    kCharsetAnsi,        // Spanish
    kCharsetRussian,     // Russian
};

inline constexpr char kLanguageFontFace[] = "Arial";

// The code page in which a font of the given character set draws the catalogue's bytes: 1252 for ANSI,
// 1251 for Russian, and 1250 for East European and every other set (the texts' own code page).
unsigned CharsetCodePage(std::uint8_t charset) noexcept;

// Gives the font the face "Arial" and the language's character set; size, colour and style stay.
// Codes above 6 are treated as Polish.
void ApplyLanguageFont(Font& font, LanguageCode language);

}  // namespace patcher

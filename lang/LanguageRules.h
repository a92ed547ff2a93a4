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

// The code page that a language's texts are read in: the catalogue's rows and the profile's titles are
// Windows-1250 bytes in every language, so they are read as Windows-1250 whatever the character set of the
// font that draws them, which picks the glyphs only. Turning them into UTF-16 (the window, the dialogs) or
// UTF-8 (the log) with another code page would garble every Polish letter of the rows that carry the Polish
// wording for French, Italian, Spanish and Russian.
inline constexpr unsigned kTextCodePage = 1250;
unsigned TextCodePage(LanguageCode language) noexcept;

// Gives the font the face "Arial" and the language's character set; size, colour and style stay.
// Codes above 6 are treated as Polish.
void ApplyLanguageFont(Font& font, LanguageCode language);

}  // namespace patcher

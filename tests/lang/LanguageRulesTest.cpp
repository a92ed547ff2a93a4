#include <gtest/gtest.h>

#include <vector>

#include "lang/DisplayLanguage.h"
#include "lang/LanguageRules.h"

namespace patcher {
namespace {

TEST(LanguageCharset, FollowsTheLanguage) {
    const std::uint8_t expected[] = {238, 238, 0, 238, 0, 0, 204};
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        EXPECT_EQ(LanguageCharset[language], expected[language]) << int{language};
    }
}

// The character set picks the glyphs; the bytes are read as Windows-1250 in every language, French and
// Russian (whose rows carry the Polish wording, in fonts of sets 0 and 204) included.
TEST(TextCodePage, IsTheCataloguesOwnInEveryLanguage) {
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        EXPECT_EQ(TextCodePage(language), 1250u) << int{language};
    }
}

TEST(ApplyLanguageFont, SetsArialAndTheCharsetOnly) {
    FontDescription font("MS Sans Serif", 12, kCharsetDefault, true);
    ApplyLanguageFont(font, kRussian);
    EXPECT_EQ(font, FontDescription("Arial", 12, 204, true));
    ApplyLanguageFont(font, kGerman);
    EXPECT_EQ(font.Charset(), 238);
    ApplyLanguageFont(font, kFrench);
    EXPECT_EQ(font.Charset(), 0);
    EXPECT_EQ(font.FaceName(), "Arial");
    EXPECT_EQ(font.Height(), 12);
    EXPECT_TRUE(font.Bold());
}

TEST(ApplyLanguageFont, GoesThroughTheFontInterface) {
    struct RecordingFont final : Font {
        std::vector<std::string> Calls;
        void SetFaceName(ByteStringView face) override { Calls.push_back("face " + ByteString(face)); }
        void SetCharset(std::uint8_t charset) override { Calls.push_back("charset " + std::to_string(charset)); }
    } font;
    ApplyLanguageFont(font, kItalian);
    EXPECT_EQ(font.Calls, (std::vector<std::string>{"face Arial", "charset 0"}));
}

TEST(LanguageFromLocaleId, MapsTheListedLocales) {
    const struct {
        std::uint32_t LocaleId;
        LanguageCode Language;
    } cases[] = {
        {1045, kPolish},
        {1036, kFrench},
        {1031, kGerman},
        {2055, kGerman},
        {3079, kGerman},
        {4103, kGerman},
        {5127, kGerman},
        {1040, kItalian},
        {1034, kSpanish},
        {1049, kRussian},
        // English never comes from the locale.
        {1033, kPolish},
        {2057, kPolish},
        {3081, kPolish},
        // Other countries of the same languages, and sort variants.
        {3084, kPolish},
        {2060, kPolish},
        {4108, kPolish},
        {3082, kPolish},
        {2058, kPolish},
        {2064, kPolish},
        {0x10407, kPolish},
        // Nothing in particular.
        {0, kPolish},
        {0x0400, kPolish},
        {0x0800, kPolish},
        {0x1000, kPolish},
        {0xFFFFFFFF, kPolish},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageFromLocaleId(c.LocaleId), c.Language) << c.LocaleId;
    }
}

}  // namespace
}  // namespace patcher

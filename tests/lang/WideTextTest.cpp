// Catalogue bytes become UTF-16 at the window edge, in the code page of the language's character set.
#include <gtest/gtest.h>

#ifdef _WIN32
#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"
#include "platform/PlatformError.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

using win32::WideFromBytes;

std::wstring AsDrawn(LanguageCode language, int id) {
    return WideFromBytes(LookupMessage(language, id), CharsetCodePage(LanguageCharset[language]));
}

TEST(WideFromBytes, DecodesTheCatalogueAsItsLanguageDrawsIt) {
    EXPECT_EQ(AsDrawn(kPolish, kMessageFinishButton), L"Zako\u0144cz");
    EXPECT_EQ(AsDrawn(kPolish, kMessageFileFailed), L"B\u0142\u0105d\r\n");
    EXPECT_EQ(AsDrawn(kGerman, kMessageUnreadable), L"Fehler beim \u00D6ffnen der Datei %s.");
    // French, Italian and Spanish draw the Polish bytes as Windows-1252 characters, Russian as Windows-1251.
    EXPECT_EQ(AsDrawn(kFrench, kMessageFinishButton), L"Zako\u00F1cz");
    EXPECT_EQ(AsDrawn(kSpanish, kMessageFileFailed), L"B\u00B3\u00B9d\r\n");
    EXPECT_EQ(AsDrawn(kRussian, kMessageFinishButton), L"Zako\u0441cz");
}

TEST(WideFromBytes, KeepsEveryByte) {
    EXPECT_EQ(WideFromBytes("", 1250), L"");
    EXPECT_EQ(WideFromBytes(ByteStringView("a\0b", 3), 1250), std::wstring(L"a\0b", 3));
    EXPECT_EQ(WideFromBytes("\x9C\xB9\xE6", 1250), L"\u015B\u0105\u0107");
    EXPECT_THROW(WideFromBytes("abc", 12345), PlatformError);
}

}  // namespace
}  // namespace patcher
#endif

// Catalogue bytes become UTF-16 at the window edge, read as the Windows-1250 they are in every language.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"
#include "platform/PlatformError.h"
#include "platform/win32/WideText.h"

namespace patcher {
namespace {

using win32::WideFromBytes;

std::wstring AsDrawn(LanguageCode language, int id) {
    return WideFromBytes(LookupMessage(language, id), TextCodePage(language));
}

TEST(WideFromBytes, ReadsTheCatalogueAsWindows1250InEveryLanguage) {
    EXPECT_EQ(AsDrawn(kPolish, kMessageFinishButton), L"Zako\u0144cz");
    EXPECT_EQ(AsDrawn(kPolish, kMessageFileFailed), L"B\u0142\u0105d\r\n");
    EXPECT_EQ(AsDrawn(kGerman, kMessageUnreadable), L"Fehler beim \u00D6ffnen der Datei %s.");
    // The rows of French, Italian, Spanish and Russian carry the Polish wording, and read as Polish.
    EXPECT_EQ(AsDrawn(kFrench, kMessageFinishButton), L"Zako\u0144cz");
    EXPECT_EQ(AsDrawn(kSpanish, kMessageFileFailed), L"B\u0142\u0105d\r\n");
    EXPECT_EQ(AsDrawn(kRussian, kMessageFinishButton), L"Zako\u0144cz");
}

TEST(WideFromBytes, KeepsEveryByte) {
    EXPECT_EQ(WideFromBytes("", 1250), L"");
    EXPECT_EQ(WideFromBytes(ByteStringView("a\0b", 3), 1250), std::wstring(L"a\0b", 3));
    EXPECT_EQ(WideFromBytes("\x9C\xB9\xE6", 1250), L"\u015B\u0105\u0107");
    EXPECT_THROW(WideFromBytes("abc", 12345), PlatformError);
}

// Windows documents that a conversion to UTF-8 refuses the best-fit flag and the used-default pointer (Wine
// takes them): where the system's code page is UTF-8, neither is passed, and a lost character shows on reading
// back.
TEST(BytesFromWide, ResolvesTheSystemCodePageBeforeChoosingHowToConvert) {
    using win32::WideConversionFor;
    const win32::WideConversion utf8 = WideConversionFor(CP_ACP, CP_UTF8);
    EXPECT_EQ(utf8.CodePage, static_cast<unsigned>(CP_UTF8));
    EXPECT_EQ(utf8.Flags, static_cast<unsigned long>(WC_ERR_INVALID_CHARS));
    EXPECT_FALSE(utf8.AsksUsedDefault);
    const win32::WideConversion western = WideConversionFor(CP_ACP, 1252);
    EXPECT_EQ(western.CodePage, 1252u);
    EXPECT_EQ(western.Flags, static_cast<unsigned long>(WC_NO_BEST_FIT_CHARS));
    EXPECT_TRUE(western.AsksUsedDefault);
    EXPECT_EQ(WideConversionFor(1250, CP_UTF8).CodePage, 1250u);

    EXPECT_EQ(win32::BytesFromWide(L"S\u0142owniki", 1250), "S\xB3owniki");
    EXPECT_EQ(win32::BytesFromWide(L"S\u0142owniki", CP_UTF8), "S\xC5\x82owniki");
    EXPECT_THROW(win32::BytesFromWide(L"S\u0142owniki", 1252), PlatformError);
    EXPECT_THROW(win32::BytesFromWide(std::wstring(1, wchar_t(0xD800)), CP_UTF8), PlatformError);
}

}  // namespace
}  // namespace patcher
#endif

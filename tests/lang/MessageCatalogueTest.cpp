// Written in UTF-8 and compiled into Windows-1250 bytes, like the catalogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"

namespace patcher {
namespace {

constexpr int kUsedIds[] = {181, 182, 183, 184, 261, 262, 263, 264, 265, 267,
                            268, 271, 272, 273, 274, 276, 277, 278, 279, 280};
constexpr LanguageCode kBorrowingRows[] = {kFrench, kItalian, kSpanish, kRussian};

int CountPlaceholders(ByteStringView text) {
    int count = 0;
    for (std::size_t at = text.find("%s"); at != ByteStringView::npos; at = text.find("%s", at + 2)) {
        ++count;
    }
    return count;
}

TEST(MessageCatalogue, IsSevenRowsOf320StoredRowByRow) {
    EXPECT_EQ(MessageCatalogue.size(), 2240u);
    EXPECT_EQ(MessageCatalogue[0 * 320 + 181 - 1], "Uwaga");
    EXPECT_EQ(MessageCatalogue[1 * 320 + 181 - 1], "Attention");
    EXPECT_EQ(MessageCatalogue[3 * 320 + 184 - 1], "Abbrechen");
    EXPECT_EQ(LookupMessage(kGerman, 184), "Abbrechen");
}

TEST(MessageCatalogue, HoldsEveryUsedTextInEveryRowAndNothingElse) {
    const std::set<int> used(std::begin(kUsedIds), std::end(kUsedIds));
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        for (int id = 1; id <= kMessageIdCount; ++id) {
            const bool filled = used.contains(id) || id == 266;
            EXPECT_EQ(!LookupMessage(language, id).empty(), filled) << "language " << int{language} << " id " << id;
        }
        EXPECT_EQ(LookupMessage(language, 266), LookupMessage(language, 265));
    }
}

TEST(MessageCatalogue, EmptyIdsReadAsEmptyInEveryRow) {
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        for (const int id : {269, 270, 275}) {
            EXPECT_TRUE(LookupMessage(language, id).empty());
        }
    }
}

TEST(MessageCatalogue, BorrowingRowsCarryThePolishWordingExceptTheIntroduction) {
    for (const LanguageCode language : kBorrowingRows) {
        for (int id = 1; id <= kMessageIdCount; ++id) {
            if (id != 271) {
                EXPECT_EQ(LookupMessage(language, id), LookupMessage(kPolish, id)) << int{language} << " " << id;
            }
        }
        EXPECT_EQ(LookupMessage(language, 271), LookupMessage(kFrench, 271));
    }
    EXPECT_EQ(LookupMessage(kFrench, 264), "Uaktualnij");
    EXPECT_EQ(LookupMessage(kGerman, 264), "Aktualisieren");
    EXPECT_EQ(LookupMessage(kRussian, 181), "Uwaga");
}

TEST(MessageCatalogue, EveryRowTakesTheSameArguments) {
    for (const int id : kUsedIds) {
        const int expected = id == 271 ? 2 : CountPlaceholders(LookupMessage(kPolish, id));
        for (LanguageCode language = 0; language < kLanguageCount; ++language) {
            EXPECT_EQ(CountPlaceholders(LookupMessage(language, id)), expected) << int{language} << " " << id;
        }
    }
    for (const int id : {261, 262, 263, 276, 278, 279, 280}) {
        EXPECT_EQ(CountPlaceholders(LookupMessage(kPolish, id)), 1) << id;
    }
}

TEST(MessageCatalogue, TextsAreWindows1250Bytes) {
    // "Zakończ", "Błąd\r\n" and "schließen" spelled out byte by byte.
    EXPECT_EQ(LookupMessage(kPolish, 265), "\x5A\x61\x6B\x6F\xF1\x63\x7A");
    EXPECT_EQ(LookupMessage(kPolish, 268), "\x42\xB3\xB9\x64\x0D\x0A");
    EXPECT_NE(LookupMessage(kGerman, 272).find("\x73\x63\x68\x6C\x69\x65\xDF\x65\x6E"), ByteStringView::npos);
    EXPECT_EQ(LookupMessage(kGerman, 280),
              "Fehler beim \xD6"
              "ffnen der Datei %s.");
    // No byte that Windows-1250 leaves undefined, and nothing that looks like UTF-8 left over.
    for (const ByteStringView text : MessageCatalogue) {
        for (const char byte : text) {
            const auto value = static_cast<unsigned char>(byte);
            EXPECT_TRUE(value != 0x81 && value != 0x83 && value != 0x88 && value != 0x90 && value != 0x98);
            // UTF-8 lead bytes of the letters used (ó, ö, ü, ß; ą, ł, ń, ś, ź, ż); Ă and Ĺ occur in no text.
            EXPECT_TRUE(value != 0xC3 && value != 0xC4 && value != 0xC5) << text;
        }
    }
}

TEST(MessageCatalogue, UsedTextsReadAsGiven) {
    EXPECT_EQ(LookupMessage(kEnglish, 263), "Version %s");
    EXPECT_EQ(LookupMessage(kGerman, 263), "Version %s");
    EXPECT_EQ(LookupMessage(kPolish, 263), "Wersja %s");
    EXPECT_EQ(LookupMessage(kGerman, 261), "Update - %s");
    EXPECT_EQ(LookupMessage(kPolish, 277), "Błąd - nie znaleziono katalogu programu.");
}

TEST(MessageCatalogue, IntroductionQuotesTheTitlePerRow) {
    EXPECT_EQ(FormatText(LookupMessage(kPolish, 271), {"Vokarion", "1.5.3"}).substr(0, 47),
              "Ten program uaktualni \"Vokarion\" do wersji 1.5.");
    EXPECT_EQ(FormatText(LookupMessage(kFrench, 271), {"Vokarion", "1.5.3"}).substr(0, 45),
              "Ten program uaktualni Vokarion do wersji 1.5.");
    EXPECT_EQ(FormatText(LookupMessage(kEnglish, 271), {"Vokarion", "1.5.3"}).substr(0, 47),
              "This program will update 'Vokarion' to version ");
    EXPECT_EQ(FormatText(LookupMessage(kGerman, 271), {"Vokarion", "1.5.3"}).substr(0, 56),
              "Dieses Programm wird \"Vokarion\" zur Version 1.5.3 aktual");
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        const ByteStringView text = LookupMessage(language, 271);
        ASSERT_GE(text.size(), 4u);
        EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n") << int{language};
    }
}

TEST(MessageCatalogue, ProgressLineKeepsItsTrailingSpace) {
    const ByteString line =
        FormatText(LookupMessage(kPolish, 276), {"VokarEn.exe"}) + ByteString(LookupMessage(kPolish, 267));
    EXPECT_EQ(line, "Trwa aktualizacja pliku VokarEn.exe ... OK\r\n");
    EXPECT_EQ(FormatText(LookupMessage(kEnglish, 276), {"VokarEn.exe"}), "File VokarEn.exe is being updated ... ");
    EXPECT_EQ(FormatText(LookupMessage(kGerman, 276), {"VokarEn.exe"}), "Aktualisierung der Datei VokarEn.exe ... ");
}

TEST(MessageCatalogue, LookupOutsideTheCatalogueIsEmpty) {
    EXPECT_TRUE(LookupMessage(kPolish, 0).empty());
    EXPECT_TRUE(LookupMessage(kPolish, 321).empty());
    EXPECT_TRUE(LookupMessage(7, 181).empty());
    EXPECT_TRUE(LookupMessage(255, 264).empty());
}

}  // namespace
}  // namespace patcher

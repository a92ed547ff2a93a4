// Written in UTF-8 and compiled into Windows-1250 bytes, like the catalogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"

namespace patcher {
namespace {

constexpr int kUsedIds[] = {
    kMessageDialogCaption, kMessageYes,          kMessageNo,           kMessageCancel,         kMessageWindowCaption,
    kMessageTitle,         kMessageVersion,      kMessageUpdateButton, kMessageFinishButton,   kMessageFileOk,
    kMessageFileFailed,    kMessageIntroduction, kSummaryUpdated,      kSummaryFailed,         kSummaryNothingToDo,
    kMessageFileLine,      kMessageNoDirectory,  kMessageFileMissing,  kMessageUnknownVersion, kMessageUnreadable};
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
    EXPECT_EQ(LookupMessage(kGerman, kMessageCancel), "Abbrechen");
}

TEST(MessageCatalogue, HoldsEveryUsedTextInEveryRowAndNothingElse) {
    const std::set<int> used(std::begin(kUsedIds), std::end(kUsedIds));
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        for (int id = 1; id <= kMessageIdCount; ++id) {
            const bool filled = used.contains(id) || id == kMessageFinishAgain;
            EXPECT_EQ(!LookupMessage(language, id).empty(), filled) << "language " << int{language} << " id " << id;
        }
        EXPECT_EQ(LookupMessage(language, kMessageFinishAgain), LookupMessage(language, kMessageFinishButton));
    }
}

TEST(MessageCatalogue, EmptyIdsReadAsEmptyInEveryRow) {
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        for (const int id : {kMessageOpenDialogTitle, 270, 275}) {
            EXPECT_TRUE(LookupMessage(language, id).empty());
        }
    }
}

TEST(MessageCatalogue, BorrowingRowsCarryThePolishWordingExceptTheIntroduction) {
    for (const LanguageCode language : kBorrowingRows) {
        for (int id = 1; id <= kMessageIdCount; ++id) {
            if (id != kMessageIntroduction) {
                EXPECT_EQ(LookupMessage(language, id), LookupMessage(kPolish, id)) << int{language} << " " << id;
            }
        }
        EXPECT_EQ(LookupMessage(language, kMessageIntroduction), LookupMessage(kFrench, kMessageIntroduction));
    }
    EXPECT_EQ(LookupMessage(kFrench, kMessageUpdateButton), "Uaktualnij");
    EXPECT_EQ(LookupMessage(kGerman, kMessageUpdateButton), "Aktualisieren");
    EXPECT_EQ(LookupMessage(kRussian, kMessageDialogCaption), "Uwaga");
}

TEST(MessageCatalogue, EveryRowTakesTheSameArguments) {
    for (const int id : kUsedIds) {
        const int expected = id == kMessageIntroduction ? 2 : CountPlaceholders(LookupMessage(kPolish, id));
        for (LanguageCode language = 0; language < kLanguageCount; ++language) {
            EXPECT_EQ(CountPlaceholders(LookupMessage(language, id)), expected) << int{language} << " " << id;
        }
    }
    for (const int id : {kMessageWindowCaption, kMessageTitle, kMessageVersion, kMessageFileLine, kMessageFileMissing,
                         kMessageUnknownVersion, kMessageUnreadable}) {
        EXPECT_EQ(CountPlaceholders(LookupMessage(kPolish, id)), 1) << id;
    }
}

TEST(MessageCatalogue, TextsAreWindows1250Bytes) {
    // "Zakończ", "Błąd\r\n" and "schließen" spelled out byte by byte.
    EXPECT_EQ(LookupMessage(kPolish, kMessageFinishButton), "\x5A\x61\x6B\x6F\xF1\x63\x7A");
    EXPECT_EQ(LookupMessage(kPolish, kMessageFileFailed), "\x42\xB3\xB9\x64\x0D\x0A");
    EXPECT_NE(LookupMessage(kGerman, kSummaryUpdated).find("\x73\x63\x68\x6C\x69\x65\xDF\x65\x6E"),
              ByteStringView::npos);
    EXPECT_EQ(LookupMessage(kGerman, kMessageUnreadable),
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
    EXPECT_EQ(LookupMessage(kEnglish, kMessageVersion), "Version %s");
    EXPECT_EQ(LookupMessage(kGerman, kMessageVersion), "Version %s");
    EXPECT_EQ(LookupMessage(kPolish, kMessageVersion), "Wersja %s");
    EXPECT_EQ(LookupMessage(kGerman, kMessageWindowCaption), "Update - %s");
    EXPECT_EQ(LookupMessage(kPolish, kMessageNoDirectory), "Błąd - nie znaleziono katalogu programu.");
}

TEST(MessageCatalogue, IntroductionQuotesTheTitlePerRow) {
    EXPECT_EQ(FormatText(LookupMessage(kPolish, kMessageIntroduction), {"Vokarion", "1.5.3"}).substr(0, 47),
              "Ten program uaktualni \"Vokarion\" do wersji 1.5.");
    EXPECT_EQ(FormatText(LookupMessage(kFrench, kMessageIntroduction), {"Vokarion", "1.5.3"}).substr(0, 45),
              "Ten program uaktualni Vokarion do wersji 1.5.");
    EXPECT_EQ(FormatText(LookupMessage(kEnglish, kMessageIntroduction), {"Vokarion", "1.5.3"}).substr(0, 47),
              "This program will update 'Vokarion' to version ");
    EXPECT_EQ(FormatText(LookupMessage(kGerman, kMessageIntroduction), {"Vokarion", "1.5.3"}).substr(0, 56),
              "Dieses Programm wird \"Vokarion\" zur Version 1.5.3 aktual");
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        const ByteStringView text = LookupMessage(language, kMessageIntroduction);
        ASSERT_GE(text.size(), 4u);
        EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n") << int{language};
    }
}

TEST(MessageCatalogue, ProgressLineKeepsItsTrailingSpace) {
    const ByteString line = FormatText(LookupMessage(kPolish, kMessageFileLine), {"VokarEn.exe"}) +
                            ByteString(LookupMessage(kPolish, kMessageFileOk));
    EXPECT_EQ(line, "Trwa aktualizacja pliku VokarEn.exe ... OK\r\n");
    EXPECT_EQ(FormatText(LookupMessage(kEnglish, kMessageFileLine), {"VokarEn.exe"}),
              "File VokarEn.exe is being updated ... ");
    EXPECT_EQ(FormatText(LookupMessage(kGerman, kMessageFileLine), {"VokarEn.exe"}),
              "Aktualisierung der Datei VokarEn.exe ... ");
}

TEST(MessageCatalogue, LookupOutsideTheCatalogueIsEmpty) {
    EXPECT_TRUE(LookupMessage(kPolish, 0).empty());
    EXPECT_TRUE(LookupMessage(kPolish, 321).empty());
    EXPECT_TRUE(LookupMessage(7, kMessageDialogCaption).empty());
    EXPECT_TRUE(LookupMessage(255, kMessageUpdateButton).empty());
}

// A log read after the fact keeps what the introduction and the summaries tell, in every language, and none
// of the window's buttons that they tell the user to press.
TEST(MessageCatalogue, WithoutInstructionsNoTextNamesAButton) {
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        const auto namesAButton = [language](ByteStringView text) {
            for (const int button : {kMessageUpdateButton, kMessageFinishButton}) {
                ByteString quoted(1, '"');
                quoted.append(LookupMessage(language, button)).push_back('"');
                if (text.find(quoted) != ByteStringView::npos) {
                    return true;
                }
            }
            return false;
        };
        const ByteString introduction =
            FormatText(LookupMessage(language, kMessageIntroduction), {"Vokarion", "1.5.3"});
        for (const auto& [id, shown] :
             {std::pair<int, ByteString>(kMessageIntroduction, introduction),
              std::pair<int, ByteString>(kSummaryUpdated, ByteString(LookupMessage(language, kSummaryUpdated))),
              std::pair<int, ByteString>(kSummaryFailed, ByteString(LookupMessage(language, kSummaryFailed)))}) {
            const ByteStringView told = WithoutInstructions(id, shown);
            EXPECT_TRUE(shown.starts_with(told)) << int{language} << " " << id;
            EXPECT_GT(told.size(), 20u) << int{language} << " " << id;
            EXPECT_TRUE(namesAButton(shown)) << int{language} << " " << id;
            EXPECT_FALSE(namesAButton(told)) << int{language} << " " << id;
        }
        const ByteStringView same = LookupMessage(language, kSummaryNothingToDo);
        EXPECT_EQ(WithoutInstructions(kSummaryNothingToDo, same), same);
    }
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/untMainPatcher.h"
#include "lang/DisplayLanguage.h"
#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "tests/app/FakeScreens.h"
#include "tests/app/RecordingView.h"
#include "tests/app/ScriptedSystem.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using C = MainControl;
using testing::DialogScreen;
using testing::ScreenView;
using testing::ScriptedSystem;

ByteString Message(LanguageCode language, int id) {
    return ByteString(LookupMessage(language, id));
}

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
        auto dialogView = std::make_unique<DialogScreen>();
        dialogScreen_ = dialogView.get();
        dialog_ = std::make_unique<TfrmPytanie>(std::move(dialogView));
    }

    // Start-up's part under a user locale: the form, its view and the dialog, then showing; with the language
    // that the command line asks for, if it does.
    TfrmMainPatcher& Open(std::uint32_t localeId = 1045, std::optional<LanguageCode> requested = std::nullopt) {
        localeId_ = localeId;
        form_ =
            std::make_unique<TfrmMainPatcher>(profile_, system_, [this] { return LanguageFromLocaleId(localeId_); });
        if (requested) {
            form_->RequestLanguage(*requested);
        }
        form_->AttachView(view_);
        form_->AttachDialog(*dialog_);
        form_->Show();
        return *form_;
    }

    ByteString Title(int column) const { return ByteString(UpdateTitle(profile_.UpdateIndex, column)); }
    ByteString Introduction(LanguageCode language, int column) const {
        return FormatText(LookupMessage(language, kMessageIntroduction),
                          {Title(column), UpdateVersion(profile_.UpdateIndex)});
    }

    // Every text of the window in one language, as the window must show it.
    void ExpectTextsIn(LanguageCode language, int column) const {
        SCOPED_TRACE("language " + std::to_string(language));
        EXPECT_EQ(form_->State().DisplayLanguage, language);
        EXPECT_EQ(profile_.TitleColumn, column);
        EXPECT_EQ(view_.Of(C::Window).Caption,
                  FormatText(LookupMessage(language, kMessageWindowCaption), {Title(column)}));
        EXPECT_EQ(view_.Of(C::lblTytul).Caption, FormatText(LookupMessage(language, kMessageTitle), {Title(column)}));
        EXPECT_EQ(view_.Of(C::lblKrok).Caption, FormatText(LookupMessage(language, kMessageVersion), {"1.5.3"}));
        EXPECT_EQ(view_.Of(C::btnUpdate).Caption, Message(language, kMessageUpdateButton));
        EXPECT_EQ(view_.Of(C::btnZamknij).Caption, Message(language, kMessageFinishButton));
        EXPECT_EQ(view_.Of(C::lblJezyk).Caption, "J\xEAzyk / Language / Sprache / Langue:");
        EXPECT_EQ(form_->dlgOtworz.Title, "");
        // Fonts: the language's character set, except the title and the language caption, always Polish.
        const std::uint8_t charset = LanguageCharset[language];
        for (const MainControl control : {C::Window, C::lblKrok, C::lblMain, C::btnUpdate, C::btnZamknij}) {
            EXPECT_EQ(view_.Of(control).Font.FaceName(), "Arial");
            EXPECT_EQ(view_.Of(control).Font.Charset(), charset) << static_cast<int>(control);
        }
        EXPECT_EQ(view_.Of(C::lblTytul).Font, FontDescription("Arial", 12, kCharsetEastEurope, true));
        EXPECT_EQ(view_.Of(C::lblJezyk).Font, FontDescription("Arial", 11, kCharsetEastEurope));
        EXPECT_EQ(view_.Of(C::Window).Font.Height(), 11);
        EXPECT_EQ(view_.Of(C::lblKrok).Font.Height(), 12);
        // The message dialog speaks the same language.
        EXPECT_EQ(dialog_->Caption, Message(language, kMessageDialogCaption));
        EXPECT_EQ(dialog_->Font.Charset(), charset);
    }

    std::vector<MainControl> PressedFlags() const {
        std::vector<MainControl> pressed;
        for (const MainControl flag : {C::btnPolski, C::btnAngielski, C::btnNiemiecki, C::btnFrancuski}) {
            if (view_.Of(flag).Down) {
                pressed.push_back(flag);
            }
        }
        return pressed;
    }

    ProductProfile profile_;
    ScriptedSystem system_;
    ScreenView view_;
    DialogScreen* dialogScreen_ = nullptr;
    std::unique_ptr<TfrmPytanie> dialog_;
    std::unique_ptr<TfrmMainPatcher> form_;
    std::uint32_t localeId_ = 1045;
};

TEST_F(MainWindowTest, TheEnglishEditionStartsInPolishUnderEveryLocale) {
    // Polish, English (United States, United Kingdom), French, German (Austria), Russian.
    for (const std::uint32_t localeId : {1045u, 1033u, 2057u, 1036u, 3079u, 1049u}) {
        SCOPED_TRACE(localeId);
        Open(localeId);
        ExpectTextsIn(kPolish, 1);
        EXPECT_EQ(view_.Of(C::lblMain).Caption, Introduction(kPolish, 1));
        EXPECT_TRUE(view_.Visible);
        EXPECT_TRUE(view_.Of(C::btnAngielski).Visible && view_.Of(C::btnAngielski).Enabled);
        EXPECT_EQ(view_.Of(C::btnAngielski).Left, 238);
        EXPECT_FALSE(view_.Of(C::btnNiemiecki).Visible || view_.Of(C::btnNiemiecki).Enabled);
        EXPECT_FALSE(view_.Of(C::btnFrancuski).Visible || view_.Of(C::btnFrancuski).Enabled);
        EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnPolski});
        EXPECT_FALSE(form_->State().RunDone);
        EXPECT_FALSE(form_->State().RunSucceeded);
        EXPECT_TRUE(view_.Of(C::btnUpdate).Enabled && view_.Of(C::btnZamknij).Enabled);
    }
}

TEST_F(MainWindowTest, AGermanProductStartsInGermanUnderAGermanLocaleWithItsFlagNextToThePolishOne) {
    profile_.ProductLanguage = kGerman;
    Open(3079);
    ExpectTextsIn(kGerman, 2);
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Introduction(kGerman, 2));
    EXPECT_EQ(view_.Of(C::btnNiemiecki).Left, 238);
    EXPECT_TRUE(view_.Of(C::btnNiemiecki).Visible && view_.Of(C::btnNiemiecki).Enabled);
    EXPECT_FALSE(view_.Of(C::btnAngielski).Visible || view_.Of(C::btnFrancuski).Visible);
    // The design's pressed flag stays pressed, whatever language the window starts in.
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnPolski});

    Open(1036);
    ExpectTextsIn(kPolish, 1);
}

// A language that the command line asks for wins over the locale, and its flag shows it pressed.
TEST_F(MainWindowTest, ALanguageAskedForByNameStartsTheWindowWithItsFlagPressed) {
    Open(1045, kEnglish);
    ExpectTextsIn(kEnglish, 2);
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnAngielski});
    form_->FlagButtonPressed(C::btnPolski);
    ExpectTextsIn(kPolish, 1);
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnPolski});

    profile_.ProductLanguage = kGerman;
    Open(3079, kPolish);
    ExpectTextsIn(kPolish, 1);
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnPolski});
}

TEST_F(MainWindowTest, AFrenchProductUnderTheFrenchLocaleShowsPolishWordingInTheAnsiCharacterSet) {
    profile_.ProductLanguage = kFrench;
    Open(1036);
    ExpectTextsIn(kFrench, 2);
    EXPECT_EQ(view_.Of(C::btnUpdate).Caption, Message(kPolish, kMessageUpdateButton));
    EXPECT_EQ(view_.Of(C::btnFrancuski).Left, 238);
    EXPECT_TRUE(view_.Of(C::btnFrancuski).Visible);
    EXPECT_FALSE(view_.Of(C::btnNiemiecki).Visible);
}

TEST_F(MainWindowTest, KindsFourAndFiveHideTheEnglishFlagWhateverTheLanguage) {
    for (const std::int32_t kind : {1, 2, 3, 4, 5, 6}) {
        for (const LanguageCode language : {kEnglish, kFrench, kGerman}) {
            SCOPED_TRACE("kind " + std::to_string(kind) + " language " + std::to_string(language));
            profile_.ProductKind = kind;
            profile_.ProductLanguage = language;
            Open();
            const bool englishShown = language == kEnglish && kind != 4 && kind != 5;
            EXPECT_EQ(view_.Of(C::btnAngielski).Visible, englishShown);
            EXPECT_EQ(view_.Of(C::btnAngielski).Enabled, englishShown);
            EXPECT_EQ(view_.Of(C::btnNiemiecki).Visible, language == kGerman);
            EXPECT_EQ(view_.Of(C::btnFrancuski).Visible, language == kFrench);
            EXPECT_TRUE(view_.Of(C::btnPolski).Visible && view_.Of(C::btnPolski).Enabled);
        }
    }
}

TEST_F(MainWindowTest, TheFlagsFormOneGroupThatMayBeAllUp) {
    Open();
    form_->FlagButtonPressed(C::btnAngielski);
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnAngielski});
    ExpectTextsIn(kEnglish, 2);
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Introduction(kEnglish, 2));
    // The title is the same in both columns for this update: only the words around it change.
    EXPECT_EQ(view_.Of(C::lblTytul).Caption, Title(1) + " - Update");

    // Pressing the pressed flag raises it: nothing is pressed and nothing else changes.
    form_->FlagButtonPressed(C::btnAngielski);
    EXPECT_TRUE(PressedFlags().empty());
    ExpectTextsIn(kEnglish, 2);

    form_->FlagButtonPressed(C::btnPolski);
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnPolski});
    ExpectTextsIn(kPolish, 1);
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Introduction(kPolish, 1));

    // A hidden flag cannot be pressed.
    form_->FlagButtonPressed(C::btnNiemiecki);
    EXPECT_EQ(PressedFlags(), std::vector<MainControl>{C::btnPolski});
    ExpectTextsIn(kPolish, 1);
}

TEST_F(MainWindowTest, WhileRunningTheButtonsAreOffTheFlagsWorkAndTheWindowWillNotClose) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    Open();
    struct Seen {
        bool UpdateEnabled, CloseEnabled, FlagEnabled, MayClose, RunDone;
    };
    std::vector<Seen> seen;
    view_.OnMessages = [&] {
        seen.push_back({view_.Of(C::btnUpdate).Enabled, view_.Of(C::btnZamknij).Enabled,
                        view_.Of(C::btnAngielski).Enabled, false, form_->State().RunDone});
        // Neither a second press nor the close button does anything while the files are being done.
        form_->btnUpdateClick();
        if (!form_->State().RunDone) {
            seen.back().MayClose = form_->FormCloseQuery();
            form_->btnZamknijClick();
        }
    };
    form_->btnUpdateClick();

    ASSERT_EQ(seen.size(), 4u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_FALSE(seen[i].UpdateEnabled || seen[i].CloseEnabled) << i;
        EXPECT_TRUE(seen[i].FlagEnabled);
        EXPECT_FALSE(seen[i].MayClose);
        EXPECT_FALSE(seen[i].RunDone);
    }
    EXPECT_TRUE(seen[2].UpdateEnabled && seen[2].CloseEnabled && seen[2].RunDone);
    EXPECT_FALSE(view_.Closed);
    EXPECT_EQ(system_.Calls.size(), 4u) << "one run only";
    EXPECT_EQ(view_.Log.front(), "run starts");
    EXPECT_EQ(view_.Log.back(), "run ends");

    // Ended: both enabled, the close button focused, closing allowed.
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, kSummaryUpdated));
    EXPECT_NE(std::find(view_.Log.begin(), view_.Log.end(), "focus " + std::to_string(static_cast<int>(C::btnZamknij))),
              view_.Log.end());
    EXPECT_TRUE(form_->FormCloseQuery());
    view_.OnMessages = nullptr;
    form_->btnZamknijClick();
    EXPECT_TRUE(view_.Closed);
}

// Once the files are done the buttons are enabled while the run shows its summary: Finish pressed then (or
// Alt+F4) closes the window as soon as the run has returned, not under it, and not never.
TEST_F(MainWindowTest, AClosePressedWhileTheRunFinishesClosesTheWindowOnceTheRunHasReturned) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    Open();
    bool closedDuringTheRun = false;
    view_.OnMessages = [&] {
        closedDuringTheRun = closedDuringTheRun || view_.Closed;
        if (form_->State().RunDone) {
            EXPECT_FALSE(form_->FormCloseQuery());
            form_->btnZamknijClick();
        }
    };
    form_->btnUpdateClick();
    EXPECT_FALSE(closedDuringTheRun);
    EXPECT_TRUE(view_.Closed);
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, kSummaryUpdated)) << "closed before the summary";
    EXPECT_EQ(view_.Log.back(), "run ends");
}

TEST_F(MainWindowTest, ALanguageChangeDuringTheRunShowsTheIntroductionAndTheRunGoesOnInTheNewLanguage) {
    system_.Install({{"VokarEn.exe", CheckResult::Current}});
    Open();
    ByteString textBeforeSummary;
    view_.OnMessages = [&] {
        if (view_.MessagePoints == 2) {  // after the first progress line
            form_->FlagButtonPressed(C::btnAngielski);
            EXPECT_EQ(view_.Of(C::lblMain).Caption, Introduction(kEnglish, 2));
        }
        if (view_.Of(C::btnUpdate).Enabled && textBeforeSummary.empty()) {
            textBeforeSummary = view_.Of(C::lblMain).Caption;
        }
    };
    form_->btnUpdateClick();
    EXPECT_EQ(textBeforeSummary, Introduction(kEnglish, 2) + Message(kEnglish, kMessageFileOk));
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kEnglish, kSummaryNothingToDo));
}

TEST_F(MainWindowTest, ALanguageChangeAfterARunShowsTheSummaryTheRunEndedWith) {
    const struct {
        CheckResult Found;
        int Summary;
    } cases[] = {
        {CheckResult::OutOfDate, kSummaryUpdated},
        {CheckResult::Current, kSummaryNothingToDo},
        {CheckResult::NotRecognised, kSummaryFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Summary);
        system_ = ScriptedSystem();
        system_.Install({{"VokarEn.exe", c.Found}});
        Open();
        form_->btnUpdateClick();
        EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, c.Summary));
        form_->FlagButtonPressed(C::btnAngielski);
        EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kEnglish, c.Summary));
        form_->FlagButtonPressed(C::btnPolski);
        EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, c.Summary));
    }
}

TEST_F(MainWindowTest, ErrorsAreShownInTheDisplayLanguageOverTheMainWindow) {
    system_.Install({{"VokarEn.exe", CheckResult::NotRecognised}});
    Open();
    form_->FlagButtonPressed(C::btnAngielski);
    // While the dialog is open the user switches back to Polish: the next texts are Polish.
    dialogScreen_->WhileShown = [&] { form_->FlagButtonPressed(C::btnPolski); };
    form_->btnUpdateClick();

    ASSERT_EQ(dialogScreen_->Showings.size(), 1u);
    EXPECT_EQ(dialogScreen_->Showings[0].Caption, "Attention");
    EXPECT_EQ(dialogScreen_->Showings[0].LabelText, "Error - unknown version of file C:\\Vokarion\\VokarEn.exe.");
    EXPECT_EQ(dialogScreen_->Showings[0].ButtonCaptions[0], "OK");
    EXPECT_EQ(dialogScreen_->Owners[0].Handle, view_.Handle().Handle);
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, kSummaryFailed));
}

TEST_F(MainWindowTest, KindFourAsksThroughThePolishOpenDialog) {
    profile_.ProductKind = 4;
    system_.Directories.insert("D:\\Vokarion");
    system_.Files["D:\\Vokarion\\VokarEn.exe"] = CheckResult::Current;
    view_.ChosenFile = "D:\\Vokarion\\Vokar.exe";
    Open();
    form_->FlagButtonPressed(C::btnPolski);  // all up: the language stays
    form_->btnUpdateClick();
    EXPECT_EQ(view_.Log[1], "open dialog Pliki program\xF3w|*.exe title= resizable");
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, kSummaryNothingToDo));
}

TEST_F(MainWindowTest, APressOfUpdateAfterARunStartsAnotherFromTheIntroduction) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    Open();
    testing::RecordingView log;
    form_->AttachLog(log);
    form_->btnUpdateClick();
    std::vector<ByteString> texts;
    view_.OnMessages = [&] { texts.push_back(view_.Of(C::lblMain).Caption); };
    form_->btnUpdateClick();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), Introduction(kPolish, 1));
    EXPECT_EQ(view_.Of(C::lblMain).Caption, Message(kPolish, kSummaryNothingToDo));
    // The log of /LOG= hears of both runs, each to its summary.
    EXPECT_EQ(std::count(log.Reported.begin(), log.Reported.end(), "introduction 0"), 2);
    EXPECT_EQ(log.Reported.back(), "summary 274");
    EXPECT_NE(std::find(log.Reported.begin(), log.Reported.end(), "summary 272"), log.Reported.end());
    // The window alone is asked and shown to: the log is told what happened.
    EXPECT_TRUE(log.Log.empty()) << log.Log.front();
}

}  // namespace
}  // namespace patcher

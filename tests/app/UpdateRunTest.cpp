#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/UpdateRun.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "tests/app/RecordingView.h"
#include "tests/app/ScriptedSystem.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using testing::RecordingView;
using testing::ScriptedSystem;
using Events = std::vector<std::string>;

ByteString Message(LanguageCode language, int id) {
    return ByteString(LookupMessage(language, id));
}

class UpdateRunTest : public ::testing::Test {
  protected:
    UpdateRunTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
        state_.DisplayLanguage = kEnglish;
        profile_.TitleColumn = 2;
    }

    void Run() { RunUpdate(profile_, state_, window_, system_, {}); }
    Events Reported() const { return window_.Reported; }

    void Select(std::initializer_list<int> fileIndices) {
        profile_.SelectedFiles = {};
        for (const int index : fileIndices) {
            profile_.SelectedFiles.Bits[static_cast<std::size_t>(index / 8)] |=
                static_cast<std::uint8_t>(1u << (index % 8));
        }
    }

    ByteString Introduction(LanguageCode language = kEnglish) const {
        return FormatText(
            LookupMessage(language, kMessageIntroduction),
            {UpdateTitle(profile_.UpdateIndex, profile_.TitleColumn), UpdateVersion(profile_.UpdateIndex)});
    }

    static ByteString Line(ByteStringView fileName, bool ok, LanguageCode language = kEnglish) {
        return FormatText(LookupMessage(language, kMessageFileLine), {fileName}) +
               Message(language, ok ? kMessageFileOk : kMessageFileFailed);
    }

    ProductProfile profile_;
    RunState state_;
    RecordingView window_;
    ScriptedSystem system_;
};

TEST_F(UpdateRunTest, ACurrentFileIsLeftAloneAndTheRunSaysNothingNeededUpdating) {
    system_.Install({{"VokarEn.exe", CheckResult::Current}});
    std::string textWhileWorking;
    window_.OnMessages = [&] {
        if (textWhileWorking.empty() && window_.Text.find("VokarEn.exe") != ByteString::npos) {
            textWhileWorking = window_.Text;
        }
    };
    Run();

    EXPECT_EQ(textWhileWorking,
              Introduction() + FormatText(LookupMessage(kEnglish, kMessageFileLine), {"VokarEn.exe"}));
    // The introduction ends in two line breaks, so the progress line starts on a line of its own.
    EXPECT_TRUE(textWhileWorking.ends_with("\r\n\r\nFile VokarEn.exe is being updated ... ")) << textWhileWorking;
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryNothingToDo));
    EXPECT_TRUE(state_.RunDone);
    EXPECT_TRUE(state_.RunSucceeded);
    EXPECT_EQ(state_.Summary, kSummaryNothingToDo);
    EXPECT_EQ(system_.Calls, (Events{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe", "shortcuts C:\\Vokarion\\"}));
    EXPECT_TRUE(window_.Dialogs.empty());
    // Messages are handled after the buttons go off, after each progress line, after they come back on and
    // after the summary; the focus moves to the close button only after an error-free run.
    EXPECT_EQ(window_.Log,
              (Events{"buttons off", "messages", "messages", "buttons on", "messages", "focus close", "messages"}));
    EXPECT_TRUE(window_.PushButtonsEnabled);
}

TEST_F(UpdateRunTest, AnOutOfDateFileIsRewrittenAndReportedAsUpdated) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    ByteString textBeforeSummary;
    window_.OnMessages = [&] {
        if (window_.PushButtonsEnabled && textBeforeSummary.empty()) {
            textBeforeSummary = window_.Text;
        }
    };
    Run();

    EXPECT_EQ(textBeforeSummary, Introduction() + Line("VokarEn.exe", true));
    EXPECT_TRUE(textBeforeSummary.ends_with("\r\n\r\nFile VokarEn.exe is being updated ... OK\r\n"));
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryUpdated));
    EXPECT_EQ(state_.Summary, kSummaryUpdated);
    EXPECT_TRUE(state_.RunSucceeded);
    EXPECT_EQ(system_.Calls[2], "rewrite 1 C:\\Vokarion\\VokarEn.exe");
    EXPECT_NE(std::find(window_.Log.begin(), window_.Log.end(), "focus close"), window_.Log.end());
}

TEST_F(UpdateRunTest, AFailedRewriteEndsTheLineInErrorWithoutADialog) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    system_.FailingRewrites["C:\\Vokarion\\VokarEn.exe"] = {FileFault::ReadOnly, 5};
    ByteString textBeforeSummary;
    window_.OnMessages = [&] {
        if (window_.PushButtonsEnabled && textBeforeSummary.empty()) {
            textBeforeSummary = window_.Text;
        }
    };
    Run();

    EXPECT_EQ(textBeforeSummary, Introduction() + Line("VokarEn.exe", false));
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryFailed));
    EXPECT_FALSE(state_.RunSucceeded);
    EXPECT_TRUE(window_.Dialogs.empty());
    EXPECT_EQ(std::find(window_.Log.begin(), window_.Log.end(), "focus close"), window_.Log.end());
}

TEST_F(UpdateRunTest, UnknownUnreadableAndMissingFilesAreReportedWithTheirFullPath) {
    Select({1, 2, 3, 4});
    system_.Install({{"VokarEn.exe", CheckResult::NotRecognised},
                     {"VokarInt.exe", CheckResult::Unreadable},
                     {"VokarFr.exe", CheckResult::Current}});
    Run();

    EXPECT_EQ(window_.Dialogs,
              (std::vector<ByteString>{
                  FormatText(LookupMessage(kEnglish, kMessageUnknownVersion), {"C:\\Vokarion\\VokarEn.exe"}),
                  FormatText(LookupMessage(kEnglish, kMessageUnreadable), {"C:\\Vokarion\\VokarInt.exe"}),
                  FormatText(LookupMessage(kEnglish, kMessageFileMissing), {"C:\\Vokarion\\DeuPol.exe"})}));
    EXPECT_EQ(window_.Dialogs[0], "Error - unknown version of file C:\\Vokarion\\VokarEn.exe.");
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryFailed));
    EXPECT_FALSE(state_.RunSucceeded);
    // Neither the unknown nor the unreadable file is rewritten; the run goes on to the last file.
    for (const std::string& call : system_.Calls) {
        EXPECT_EQ(call.find("rewrite"), std::string::npos) << call;
    }
    EXPECT_EQ(system_.Calls.back(), "shortcuts C:\\Vokarion\\");
    EXPECT_EQ(system_.Calls[system_.Calls.size() - 2], "recognise 4 C:\\Vokarion\\VokarFr.exe");

    // The log is told each file's fact after its dialog and its line, and why the unreadable one was.
    const Events reported = Reported();
    const Events files = {"folder C:\\Vokarion\\ (current user) used",
                          "dialog 279 C:\\Vokarion\\VokarEn.exe",
                          "progress " + Line("VokarEn.exe", false),
                          "file C:\\Vokarion\\VokarEn.exe unknown build 0->11",
                          "dialog 280 C:\\Vokarion\\VokarInt.exe",
                          "progress " + Line("VokarInt.exe", false),
                          "file C:\\Vokarion\\VokarInt.exe unreadable 0->4 fault 2 code 32",
                          "dialog 278 C:\\Vokarion\\DeuPol.exe",
                          "progress " + Line("DeuPol.exe", false),
                          "file C:\\Vokarion\\DeuPol.exe not found 0->3",
                          "progress " + Line("VokarFr.exe", true),
                          "file C:\\Vokarion\\VokarFr.exe current 2->2",
                          "summary 273"};
    EXPECT_EQ(Events(reported.begin() + 1, reported.end()), files);
    EXPECT_EQ(reported.front(), "introduction 1");
}

TEST_F(UpdateRunTest, OnlyTheHelpFilesAreCreatedWhenAbsent) {
    // Files 9 and 10 have a single known version: an absent one is created. File 8 must exist.
    Select({8, 9, 10});
    system_.Install({});
    system_.FailingRewrites["C:\\Vokarion\\Sl_ZewD.chm"] = {FileFault::DiskFull, 112};
    ByteString textBeforeSummary;
    window_.OnMessages = [&] {
        if (window_.PushButtonsEnabled && textBeforeSummary.empty()) {
            textBeforeSummary = window_.Text;
        }
    };
    Run();

    EXPECT_EQ(window_.Dialogs, (std::vector<ByteString>{FormatText(LookupMessage(kEnglish, kMessageFileMissing),
                                                                   {"C:\\Vokarion\\VokarDe.exe"})}));
    EXPECT_EQ(system_.Calls, (Events{"lookup", "rewrite 9 C:\\Vokarion\\VokarD.chm",
                                     "rewrite 10 C:\\Vokarion\\Sl_ZewD.chm", "shortcuts C:\\Vokarion\\"}));
    EXPECT_EQ(textBeforeSummary,
              Introduction() + Line("VokarDe.exe", false) + Line("VokarD.chm", true) + Line("Sl_ZewD.chm", false));
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryFailed));
    const Events reported = Reported();
    EXPECT_NE(std::find(reported.begin(), reported.end(), "file C:\\Vokarion\\VokarD.chm created 0->1"),
              reported.end());
    EXPECT_NE(std::find(reported.begin(), reported.end(),
                        "file C:\\Vokarion\\Sl_ZewD.chm not rewritten 0->1 fault 4 code 112"),
              reported.end());
}

// Each rewrite is told what recognition found, and replaces only that: a file that another program changed
// meanwhile is left alone, reported with what it holds, and fails the run without a dialog.
TEST_F(UpdateRunTest, AFileChangedAfterItWasRecognisedIsLeftAloneAndFailsTheRun) {
    Select({1, 9});
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    system_.ChangedFiles["C:\\Vokarion\\VokarEn.exe"] = {.Exists = true, .Version = 9};
    Run();

    EXPECT_EQ(system_.RewrittenOver,
              (std::map<std::string, FoundTarget>{{"C:\\Vokarion\\VokarEn.exe", {.Exists = true, .Version = 1}},
                                                  {"C:\\Vokarion\\VokarD.chm", {.Exists = false, .Version = 0}}}));
    ASSERT_EQ(window_.Files.size(), 2u);
    EXPECT_EQ(window_.Files[0].State, FileState::ChangedMeanwhile);
    EXPECT_EQ(window_.Files[0].Build, 1);
    EXPECT_EQ(window_.Files[0].Now, (FoundTarget{.Exists = true, .Version = 9}));
    EXPECT_EQ(window_.Files[1].State, FileState::Created);
    EXPECT_TRUE(window_.Dialogs.empty());
    EXPECT_FALSE(state_.RunSucceeded);
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryFailed));
    const Events reported = Reported();
    EXPECT_NE(std::find(reported.begin(), reported.end(), "progress " + Line("VokarEn.exe", false)), reported.end());
}

TEST_F(UpdateRunTest, CreatingAnAbsentHelpFileCountsAsAnUpdate) {
    Select({9});
    system_.Install({});
    Run();
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryUpdated));
    EXPECT_TRUE(state_.RunSucceeded);
}

TEST_F(UpdateRunTest, WithoutADirectoryOnlyThatIsReportedAndTheShortcutsStillRun) {
    const struct {
        const char* Name;
        ByteString Recorded;
        std::string Folder;
    } cases[] = {{"no record", "", "folder  (nowhere) none"},
                 {"a directory that does not exist", "D:\\Gone", "folder D:\\Gone (current user) missing"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordingView window;
        RunState state;
        state.DisplayLanguage = kEnglish;
        ScriptedSystem system;
        system.RecordedDirectory = c.Recorded;
        std::vector<ByteString> textsWhileWorking;
        window.OnMessages = [&] { textsWhileWorking.push_back(window.Text); };
        RunUpdate(profile_, state, window, system, {});

        EXPECT_EQ(window.Dialogs, (std::vector<ByteString>{Message(kEnglish, kMessageNoDirectory)}));
        EXPECT_EQ(system.Calls, (Events{"lookup", "shortcuts " + c.Recorded}));
        // No progress line at any point: the introduction until the summary.
        EXPECT_EQ(textsWhileWorking.front(), Introduction());
        EXPECT_EQ(textsWhileWorking[1], Introduction());
        EXPECT_EQ(window.Text, Message(kEnglish, kSummaryFailed));
        EXPECT_FALSE(state.RunSucceeded);
        EXPECT_TRUE(state.RunDone);
        EXPECT_EQ(std::count(window.Log.begin(), window.Log.end(), "open dialog"), 0);
        EXPECT_EQ(window.Reported, (Events{"introduction 1", c.Folder, "dialog 277", "summary 273"}));
    }
}

// Where the folder is chosen lives in LocateProductFolder; here, that the run asks through its view after the
// introduction, and goes on in the folder chosen.
TEST_F(UpdateRunTest, KindFourAsksForTheProgramFileWhenTheDirectoryIsNotFound) {
    profile_.ProductKind = 4;
    system_.Directories.insert("E:\\Programy\\Vokarion");
    system_.Files["E:\\Programy\\Vokarion\\VokarEn.exe"] = CheckResult::Current;
    window_.ChosenFile = "E:\\Programy\\Vokarion\\Vokarion.exe";
    Run();

    EXPECT_EQ(window_.Log[2], "open dialog");
    EXPECT_TRUE(window_.Dialogs.empty());
    EXPECT_EQ(system_.Calls, (Events{"lookup", "recognise 1 E:\\Programy\\Vokarion\\VokarEn.exe",
                                     "shortcuts E:\\Programy\\Vokarion\\"}));
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryNothingToDo));
    EXPECT_EQ(Reported()[1], "folder E:\\Programy\\Vokarion\\ (dialog) used");
}

// Whatever escapes a step (here a table without the row asked for, inside a rewrite) ends the run as a failed
// run: the window is never left with its buttons off.
TEST_F(UpdateRunTest, AFailureThatEscapesAStepEndsTheRunAsAFailedRun) {
    Select({1, 9});
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    system_.DuringRewrite = [](int) { throw std::out_of_range("no such row"); };
    Run();

    EXPECT_TRUE(state_.RunDone);
    EXPECT_FALSE(state_.RunSucceeded);
    EXPECT_EQ(state_.Summary, kSummaryFailed);
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryFailed));
    EXPECT_TRUE(window_.PushButtonsEnabled);
    EXPECT_EQ(std::count(window_.Log.begin(), window_.Log.end(), "focus close"), 0);
    EXPECT_EQ(system_.Calls,
              (Events{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe", "rewrite 1 C:\\Vokarion\\VokarEn.exe"}));
    // The patcher itself failed, not the product's files: the log says what, and the exit code says so.
    EXPECT_TRUE(state_.PatcherFailed);
    EXPECT_EQ(Reported().end()[-2], "unexpected no such row");

    // The next run starts clean.
    system_.DuringRewrite = nullptr;
    Run();
    EXPECT_FALSE(state_.PatcherFailed);
    EXPECT_TRUE(state_.RunSucceeded);
}

// Help shortcuts that fail are told to the log, and change nothing of the run's outcome.
TEST_F(UpdateRunTest, FailedHelpShortcutsAreReportedWithoutChangingTheOutcome) {
    system_.Install({{"VokarEn.exe", CheckResult::Current}});
    system_.ShortcutProblems = {{"P:\\Gruppe\\Hilfe.lnk", ShortcutProblem::Kind::NotRemoved, 5},
                                {"P:\\Gruppe\\Hilfe (Deutsch).lnk", ShortcutProblem::Kind::NotMade, 0}};
    Run();
    EXPECT_TRUE(state_.RunSucceeded);
    EXPECT_EQ(state_.Summary, kSummaryNothingToDo);
    const Events reported = Reported();
    EXPECT_EQ(Events(reported.end() - 3, reported.end()),
              (Events{"not removed P:\\Gruppe\\Hilfe.lnk", "not made P:\\Gruppe\\Hilfe (Deutsch).lnk", "summary 274"}));
}

TEST_F(UpdateRunTest, SelectedFilesAreWalkedInIndexOrderAndNoOthersAreTouched) {
    Select({12, 3, 1});
    system_.Install({{"VokarEn.exe", CheckResult::Current},
                     {"VokarInt.exe", CheckResult::OutOfDate},
                     {"DeuPol.exe", CheckResult::Current},
                     {"VkIntDe.exe", CheckResult::Current}});
    Run();
    EXPECT_EQ(system_.Calls,
              (Events{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe", "recognise 3 C:\\Vokarion\\DeuPol.exe",
                      "recognise 12 C:\\Vokarion\\VkIntDe.exe", "shortcuts C:\\Vokarion\\"}));
}

TEST_F(UpdateRunTest, NothingSelectedEndsAsNothingToUpdate) {
    Select({});
    system_.Install({});
    Run();
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryNothingToDo));
    EXPECT_EQ(window_.Log, (Events{"buttons off", "messages", "buttons on", "messages", "focus close", "messages"}));
}

TEST_F(UpdateRunTest, ASecondRunStartsOverAndFindsTheRewrittenFileCurrent) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    Run();
    ASSERT_EQ(window_.Text, Message(kEnglish, kSummaryUpdated));

    std::vector<ByteString> textsWhileWorking;
    window_.OnMessages = [&] { textsWhileWorking.push_back(window_.Text); };
    Run();
    EXPECT_EQ(textsWhileWorking.front(), Introduction());
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryNothingToDo));
    EXPECT_EQ(state_.Summary, kSummaryNothingToDo);
}

TEST_F(UpdateRunTest, TheFlagsAreResetAtTheStartAndTheSummaryIsKnownWhenTheRunIsDone) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    state_.RunDone = true;
    state_.RunSucceeded = false;
    std::vector<std::string> seen;
    system_.DuringRewrite = [&](int) {
        seen.push_back(std::to_string(state_.RunDone) + std::to_string(state_.RunSucceeded) +
                       (window_.PushButtonsEnabled ? " enabled" : " disabled"));
    };
    window_.OnMessages = [&] {
        if (window_.PushButtonsEnabled) {
            seen.push_back("done=" + std::to_string(state_.RunDone) + " summary=" + std::to_string(state_.Summary));
        }
    };
    Run();
    EXPECT_EQ(seen, (Events{"01 disabled", "done=1 summary=272", "done=1 summary=272"}));
}

TEST_F(UpdateRunTest, EveryMessageIsTakenInTheLanguageShownAtThatMoment) {
    Select({1, 9});
    system_.Install({{"VokarEn.exe", CheckResult::NotRecognised}});
    // The user switches to Polish while the run looks for the product: the window shows the Polish
    // introduction, and the run goes on in Polish from there.
    ByteString textBeforeSummary;
    window_.OnMessages = [&] {
        if (state_.DisplayLanguage == kEnglish) {
            state_.DisplayLanguage = kPolish;
            window_.Text = Introduction(kPolish);
        } else if (window_.PushButtonsEnabled && textBeforeSummary.empty()) {
            textBeforeSummary = window_.Text;
        }
    };
    Run();
    EXPECT_EQ(window_.Dialogs, (std::vector<ByteString>{FormatText(LookupMessage(kPolish, kMessageUnknownVersion),
                                                                   {"C:\\Vokarion\\VokarEn.exe"})}));
    EXPECT_EQ(textBeforeSummary,
              Introduction(kPolish) + Line("VokarEn.exe", false, kPolish) + Line("VokarD.chm", true, kPolish));
    EXPECT_EQ(window_.Text, Message(kPolish, kSummaryFailed));
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/UpdateRun.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "tests/app/RecordingReport.h"
#include "tests/app/ScriptedSystem.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using testing::ScriptedSystem;
using Events = std::vector<std::string>;

// The window as the run sees it: its text, its buttons, its dialogs, and a log of what was done to it.
class RecordingWindow final : public UpdateRunWindow {
  public:
    RunState Flags;
    ByteString Text = "before the run";
    bool PushButtonsEnabled = true;
    std::optional<ByteString> ChosenFile;  // what the open-file dialog answers
    std::vector<ByteString> Dialogs;
    Events Log;
    std::function<void()> OnMessages;  // runs at each point where the window handles its messages

    RunState& State() override { return Flags; }
    ByteString MainText() const override { return Text; }
    void SetMainText(ByteString text) override { Text = std::move(text); }
    void EnablePushButtons(bool enabled) override {
        PushButtonsEnabled = enabled;
        Log.push_back(enabled ? "buttons on" : "buttons off");
    }
    void FocusCloseButton() override { Log.push_back("focus close"); }
    void ProcessPendingMessages() override {
        Log.push_back("messages");
        if (OnMessages) {
            OnMessages();
        }
    }
    std::optional<ByteString> AskForProgramFile() override {
        Log.push_back("open dialog");
        return ChosenFile;
    }
    void ShowError(ByteStringView text) override {
        Log.push_back("dialog");
        Dialogs.emplace_back(text);
    }
    void Pause(std::chrono::milliseconds) override { Log.push_back("pause"); }
};

ByteString Message(LanguageCode language, int id) {
    return ByteString(LookupMessage(language, id));
}

class UpdateRunTest : public ::testing::Test {
  protected:
    UpdateRunTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
        window_.Flags.DisplayLanguage = kEnglish;
        profile_.TitleColumn = 2;
    }

    void Run() { RunUpdate(profile_, window_, system_, report_); }
    Events Reported() const { return report_.Lines; }

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
    RecordingWindow window_;
    ScriptedSystem system_;
    testing::RecordingReport report_;
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
    EXPECT_TRUE(window_.Flags.RunDone);
    EXPECT_TRUE(window_.Flags.RunSucceeded);
    EXPECT_EQ(window_.Flags.Summary, kSummaryNothingToDo);
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
    EXPECT_EQ(window_.Flags.Summary, kSummaryUpdated);
    EXPECT_TRUE(window_.Flags.RunSucceeded);
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
    EXPECT_FALSE(window_.Flags.RunSucceeded);
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
    EXPECT_FALSE(window_.Flags.RunSucceeded);
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

TEST_F(UpdateRunTest, CreatingAnAbsentHelpFileCountsAsAnUpdate) {
    Select({9});
    system_.Install({});
    Run();
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryUpdated));
    EXPECT_TRUE(window_.Flags.RunSucceeded);
}

TEST_F(UpdateRunTest, WithoutADirectoryOnlyThatIsReportedAndTheShortcutsStillRun) {
    const struct {
        const char* Name;
        ByteString Recorded;
    } cases[] = {{"no record", ""}, {"a directory that does not exist", "D:\\Gone"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        RecordingWindow window;
        window.Flags.DisplayLanguage = kEnglish;
        ScriptedSystem system;
        system.RecordedDirectory = c.Recorded;
        std::vector<ByteString> textsWhileWorking;
        window.OnMessages = [&] { textsWhileWorking.push_back(window.Text); };
        RunUpdate(profile_, window, system, report_);

        EXPECT_EQ(window.Dialogs, (std::vector<ByteString>{Message(kEnglish, kMessageNoDirectory)}));
        EXPECT_EQ(system.Calls, (Events{"lookup", "shortcuts " + c.Recorded}));
        // No progress line at any point: the introduction until the summary.
        EXPECT_EQ(textsWhileWorking.front(), Introduction());
        EXPECT_EQ(textsWhileWorking[1], Introduction());
        EXPECT_EQ(window.Text, Message(kEnglish, kSummaryFailed));
        EXPECT_FALSE(window.Flags.RunSucceeded);
        EXPECT_TRUE(window.Flags.RunDone);
        EXPECT_EQ(std::count(window.Log.begin(), window.Log.end(), "open dialog"), 0);
    }
    EXPECT_EQ(Reported(),
              (Events{"introduction 1", "folder  (nowhere) none", "dialog 277", "summary 273", "introduction 1",
                      "folder D:\\Gone (current user) missing", "dialog 277", "summary 273"}));
}

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

    // Cancelled: the directory stays as the lookup left it, and is not found.
    RecordingWindow cancelled;
    cancelled.Flags.DisplayLanguage = kEnglish;
    ScriptedSystem system;
    system.RecordedDirectory = "F:\\Stary";
    RunUpdate(profile_, cancelled, system, report_);
    EXPECT_EQ(cancelled.Dialogs, (std::vector<ByteString>{Message(kEnglish, kMessageNoDirectory)}));
    EXPECT_EQ(system.Calls, (Events{"lookup", "shortcuts F:\\Stary"}));

    // A directory found in the registry asks nothing.
    RecordingWindow found;
    ScriptedSystem installed;
    installed.Install({{"VokarEn.exe", CheckResult::Current}});
    RunUpdate(profile_, found, installed, report_);
    EXPECT_EQ(std::count(found.Log.begin(), found.Log.end(), "open dialog"), 0);
}

// A program file picked at a drive's root lies in the root itself ("C:\\"), not in whatever folder is current on
// that drive ("C:").
TEST_F(UpdateRunTest, AProgramFilePickedAtADriveRootGivesTheRoot) {
    profile_.ProductKind = 4;
    system_.Directories.insert("C:\\");
    system_.Files["C:\\VokarEn.exe"] = CheckResult::Current;
    window_.ChosenFile = "C:\\VokarEn.exe";
    Run();

    EXPECT_EQ(system_.Calls, (Events{"lookup", "recognise 1 C:\\VokarEn.exe", "shortcuts C:\\"}));
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryNothingToDo));
}

// An installer records a full path. One relative to the current folder or drive is damaged data: followed, it
// would lead to wherever the patcher happens to be started, so it counts as no directory at all.
TEST_F(UpdateRunTest, OnlyAFullPathInTheRecordCountsAsTheDirectory) {
    for (const char* recorded : {"Vokarion", ".\\Vokarion", "C:Vokarion", "\\Vokarion", "..\\Vokarion"}) {
        SCOPED_TRACE(recorded);
        RecordingWindow window;
        window.Flags.DisplayLanguage = kEnglish;
        ScriptedSystem system;
        system.RecordedDirectory = recorded;
        system.Directories.insert(recorded);
        system.Files[std::string(recorded) + "\\VokarEn.exe"] = CheckResult::OutOfDate;
        RunUpdate(profile_, window, system, report_);
        EXPECT_EQ(window.Dialogs, (std::vector<ByteString>{Message(kEnglish, kMessageNoDirectory)}));
        EXPECT_EQ(system.Calls, (Events{"lookup", "shortcuts " + std::string(recorded)}));
        EXPECT_EQ(window.Text, Message(kEnglish, kSummaryFailed));
    }
    for (const char* recorded : {"D:/Vokarion", "\\\\serwer\\programy\\Vokarion"}) {
        SCOPED_TRACE(recorded);
        RecordingWindow window;
        ScriptedSystem system;
        system.RecordedDirectory = recorded;
        system.Directories.insert(recorded);
        system.Files[std::string(recorded) + "\\VokarEn.exe"] = CheckResult::Current;
        RunUpdate(profile_, window, system, report_);
        EXPECT_TRUE(window.Dialogs.empty());
        EXPECT_EQ(window.Flags.Summary, kSummaryNothingToDo);
    }
}

// Whatever escapes a step (here a table without the row asked for, inside a rewrite) ends the run as a failed
// run: the window is never left with its buttons off.
TEST_F(UpdateRunTest, AFailureThatEscapesAStepEndsTheRunAsAFailedRun) {
    Select({1, 9});
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    system_.DuringRewrite = [](int) { throw std::out_of_range("no such row"); };
    Run();

    EXPECT_TRUE(window_.Flags.RunDone);
    EXPECT_FALSE(window_.Flags.RunSucceeded);
    EXPECT_EQ(window_.Flags.Summary, kSummaryFailed);
    EXPECT_EQ(window_.Text, Message(kEnglish, kSummaryFailed));
    EXPECT_TRUE(window_.PushButtonsEnabled);
    EXPECT_EQ(std::count(window_.Log.begin(), window_.Log.end(), "focus close"), 0);
    EXPECT_EQ(system_.Calls,
              (Events{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe", "rewrite 1 C:\\Vokarion\\VokarEn.exe"}));
    // The patcher itself failed, not the product's files: the log says what, and the exit code says so.
    EXPECT_TRUE(window_.Flags.PatcherFailed);
    EXPECT_EQ(Reported().end()[-2], "unexpected no such row");

    // The next run starts clean.
    system_.DuringRewrite = nullptr;
    Run();
    EXPECT_FALSE(window_.Flags.PatcherFailed);
    EXPECT_TRUE(window_.Flags.RunSucceeded);
}

// Help shortcuts that fail are told to the log, and change nothing of the run's outcome.
TEST_F(UpdateRunTest, FailedHelpShortcutsAreReportedWithoutChangingTheOutcome) {
    system_.Install({{"VokarEn.exe", CheckResult::Current}});
    system_.ShortcutProblems = {{"P:\\Gruppe\\Hilfe.lnk", true, 5}, {"P:\\Gruppe\\Hilfe (Deutsch).lnk", false, 0}};
    Run();
    EXPECT_TRUE(window_.Flags.RunSucceeded);
    EXPECT_EQ(window_.Flags.Summary, kSummaryNothingToDo);
    const Events reported = Reported();
    EXPECT_EQ(Events(reported.end() - 3, reported.end()),
              (Events{"not removed P:\\Gruppe\\Hilfe.lnk", "not made P:\\Gruppe\\Hilfe (Deutsch).lnk", "summary 274"}));
}

TEST_F(UpdateRunTest, OtherKindsNeverAskForTheProgramFile) {
    for (const std::int32_t kind : {1, 2, 3, 5, 6, 0, 7}) {
        profile_.ProductKind = kind;
        RecordingWindow window;
        window.ChosenFile = "C:\\Vokarion\\VokarEn.exe";
        ScriptedSystem system;
        RunUpdate(profile_, window, system, report_);
        EXPECT_EQ(std::count(window.Log.begin(), window.Log.end(), "open dialog"), 0) << "kind " << kind;
        EXPECT_EQ(window.Dialogs.size(), 1u);
    }
}

TEST_F(UpdateRunTest, ARecordedDirectoryEndingInADelimiterGetsNoSecondOne) {
    system_.RecordedDirectory = "C:\\Vokarion\\";
    system_.Directories.insert("C:\\Vokarion\\");
    system_.Files["C:\\Vokarion\\VokarEn.exe"] = CheckResult::Current;
    Run();
    EXPECT_EQ(system_.Calls, (Events{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe", "shortcuts C:\\Vokarion\\"}));
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
    EXPECT_EQ(window_.Flags.Summary, kSummaryNothingToDo);
}

TEST_F(UpdateRunTest, TheFlagsAreResetAtTheStartAndTheSummaryIsKnownWhenTheRunIsDone) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    window_.Flags.RunDone = true;
    window_.Flags.RunSucceeded = false;
    std::vector<std::string> seen;
    system_.DuringRewrite = [&](int) {
        seen.push_back(std::to_string(window_.Flags.RunDone) + std::to_string(window_.Flags.RunSucceeded) +
                       (window_.PushButtonsEnabled ? " enabled" : " disabled"));
    };
    window_.OnMessages = [&] {
        if (window_.PushButtonsEnabled) {
            seen.push_back("done=" + std::to_string(window_.Flags.RunDone) +
                           " summary=" + std::to_string(window_.Flags.Summary));
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
        if (window_.Flags.DisplayLanguage == kEnglish) {
            window_.Flags.DisplayLanguage = kPolish;
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

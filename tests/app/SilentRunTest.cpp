#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "app/SilentRun.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "tests/app/RecordingView.h"
#include "tests/app/ScriptedSystem.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using testing::RecordingView;
using testing::ScriptedSystem;
using Lines = std::vector<std::string>;

class SilentRunTest : public ::testing::Test {
  protected:
    SilentRunTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
    }

    int Run(LanguageCode language = kEnglish) { return RunSilently(profile_, system_, {}, language, report_); }

    ProductProfile profile_;
    ScriptedSystem system_;
    RecordingView report_;
};

// The update that the window's button starts, at once, in the language asked for, with the title of its
// column; what the window would show goes to the report.
TEST_F(SilentRunTest, UpdatesAtOnceAndReportsWhatTheWindowWouldShow) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    EXPECT_EQ(Run(kPolish), kExitAllCurrent);
    EXPECT_EQ(system_.Calls, (Lines{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe",
                                    "rewrite 1 C:\\Vokarion\\VokarEn.exe", "shortcuts C:\\Vokarion\\"}));
    const ByteString line = FormatText(LookupMessage(kPolish, kMessageFileLine), {"VokarEn.exe"}) +
                            ByteString(LookupMessage(kPolish, kMessageFileOk));
    EXPECT_EQ(report_.Reported,
              (Lines{"introduction 0", "folder C:\\Vokarion\\ (current user) used", "progress " + line,
                     "file C:\\Vokarion\\VokarEn.exe updated 1->11", "summary 272"}));
}

// Every outcome has an exit code of its own.
TEST_F(SilentRunTest, EndsWithTheExitCodeOfWhatHappened) {
    system_.Install({{"VokarEn.exe", CheckResult::Current}});
    EXPECT_EQ(Run(), kExitAllCurrent);
    system_.Files["C:\\Vokarion\\VokarEn.exe"] = CheckResult::NotRecognised;
    EXPECT_EQ(Run(), kExitSomeFileFailed);
    system_.Files["C:\\Vokarion\\VokarEn.exe"] = CheckResult::OutOfDate;
    system_.DuringRewrite = [](int) { throw std::logic_error("a table without its row"); };
    EXPECT_EQ(Run(), kExitPatcherFailed);

    // Nothing recorded, and kind 4, which would ask for the program file, asks nobody.
    for (const std::int32_t kind : {1, 4}) {
        profile_.ProductKind = kind;
        ScriptedSystem empty;
        RecordingView report;
        EXPECT_EQ(RunSilently(profile_, empty, {}, kEnglish, report), kExitNoInstallDir) << kind;
        EXPECT_EQ(empty.Calls, (Lines{"lookup", "shortcuts "}));
        EXPECT_EQ(report.Reported.end()[-2], "dialog 277");
    }
}

}  // namespace
}  // namespace patcher

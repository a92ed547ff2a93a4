#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "app/ProductCheck.h"
#include "tests/app/RecordingView.h"
#include "tests/app/ScriptedSystem.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using testing::RecordingView;
using testing::ScriptedSystem;
using Lines = std::vector<std::string>;

class ProductCheckTest : public ::testing::Test {
  protected:
    ProductCheckTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
    }

    void Select(std::initializer_list<int> fileIndices) {
        profile_.SelectedFiles = {};
        for (const int index : fileIndices) {
            profile_.SelectedFiles.Bits[static_cast<std::size_t>(index / 8)] |=
                static_cast<std::uint8_t>(1u << (index % 8));
        }
    }

    int Check(ScriptedSystem& system, RecordingView& view) { return CheckProduct(profile_, system, {}, view); }

    ProductProfile profile_;
};

// The exit code that a deployment tool decides on: 0 nothing to do, 5 this update is needed and can be
// made, 1 something this update cannot mend, 2 no product. Nothing is ever written.
TEST_F(ProductCheckTest, TellsWhatTheUpdateWouldDoAndWritesNothing) {
    Select({8, 9, 10});
    struct Case {
        std::map<std::string, CheckResult> Files;
        int Expected;
    };
    const CheckResult current = CheckResult::Current, old = CheckResult::OutOfDate;
    for (const Case& c : std::vector<Case>{
             {{{"VokarDe.exe", current}, {"VokarD.chm", current}, {"Sl_ZewD.chm", current}}, kExitAllCurrent},
             {{{"VokarDe.exe", old}, {"VokarD.chm", current}, {"Sl_ZewD.chm", current}}, kExitUpdateNeeded},
             {{{"VokarDe.exe", current}, {"VokarD.chm", current}}, kExitUpdateNeeded},    // a help file to create
             {{{"VokarD.chm", current}, {"Sl_ZewD.chm", current}}, kExitSomeFileFailed},  // the program is missing
             {{{"VokarDe.exe", old}, {"VokarD.chm", CheckResult::NotRecognised}}, kExitSomeFileFailed},
             {{{"VokarDe.exe", CheckResult::Unreadable}, {"VokarD.chm", old}}, kExitSomeFileFailed},
         }) {
        ScriptedSystem system;
        system.Install(c.Files);
        RecordingView report;
        EXPECT_EQ(Check(system, report), c.Expected) << report.Reported.back();
        for (const std::string& call : system.Calls) {
            EXPECT_TRUE(call.starts_with("lookup") || call.starts_with("recognise")) << call;
        }
        EXPECT_EQ(report.Reported.size(), 4u);  // the folder and each file's state, nothing shown
        EXPECT_TRUE(report.Log.empty()) << report.Log.front();
    }
}

TEST_F(ProductCheckTest, ReportsEachFilesStateAndFindsTheFolderAsARunDoes) {
    Select({1, 9});
    ScriptedSystem system;
    system.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    RecordingView report;
    EXPECT_EQ(Check(system, report), kExitUpdateNeeded);
    EXPECT_EQ(report.Reported,
              (Lines{"folder C:\\Vokarion\\ (current user) used", "file C:\\Vokarion\\VokarEn.exe needs update 1->11",
                     "file C:\\Vokarion\\VokarD.chm needs creating 0->1"}));

    // No folder: 2, whatever the kind; the kind that would ask for the program file asks nobody.
    for (const std::int32_t kind : {1, 4}) {
        profile_.ProductKind = kind;
        ScriptedSystem missing;
        missing.RecordedDirectory = "C:\\Gone";
        RecordingView nothing;
        EXPECT_EQ(Check(missing, nothing), kExitNoInstallDir);
        EXPECT_EQ(nothing.Reported, (Lines{"folder C:\\Gone (current user) missing"}));
    }
}

}  // namespace
}  // namespace patcher

// A whole update through the real lookup, recognition, rewrite and shortcuts, over in-memory fakes of the
// registry, the file system and the shell, and the build's own packed data.
#include <gtest/gtest.h>

#include "app/ProductSystem.h"
#include "app/UpdateRun.h"
#include "app/untMainPatcher.h"
#include "engine/UDer.h"
#include "lang/MessageCatalogue.h"
#include "shell/HelpShortcuts.h"
#include "shell/untKod.h"
#include "tests/app/RecordingView.h"
#include "tests/support/BuildData.h"
#include "tests/support/FakeClock.h"
#include "tests/support/InstalledBuildTables.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/MemoryRegistry.h"
#include "tests/support/RecordingShell.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher {
namespace {

using testing::BuildResources;
using testing::MemoryFileSystem;
using testing::MemoryRegistry;
using testing::RecordingShell;
using testing::RecordingView;
using testing::Standins;

class ProductSystemTest : public ::testing::Test {
  protected:
    ProductSystemTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
    }

    // The product's record in the current user's hive, scrambled as its installer writes it.
    void Record(const std::string& directory) {
        registry_.SetString(RegistryHive::CurrentUser, std::string(ProductKeyTable(profile_.ProductIndex)),
                            Kod.Encode("Katalog", profile_.ProductIndex, 5),
                            Kod.Encode(directory, profile_.ProductIndex, 5));
    }

    // Presses Update on a form without a window, as the benchmark does, and answers every dialog with OK.
    ByteString RunOnce() {
        ProductSystem system(profile_, {files_, registry_, shell_, BuildResources(), decoder_});
        TfrmMainPatcher form(profile_, system, [] { return kPolish; });
        form.Show();
        form.btnUpdateClick();
        return form.Control(MainControl::lblMain).Caption;
    }

    ProductProfile profile_;
    MemoryFileSystem files_;
    MemoryRegistry registry_;
    RecordingShell shell_;
    DecoderState decoder_;
};

TEST_F(ProductSystemTest, AnOutOfDateFileIsFoundRecognisedAndRewrittenToTheNewestBuild) {
    Record("C:\\Vokarion");
    files_.AddDirectory("C:\\Vokarion");
    files_.AddFile("C:\\Vokarion\\VokarEn.exe", Standins().Get(1, 7));

    EXPECT_EQ(RunOnce(), LookupMessage(kPolish, kSummaryUpdated));
    EXPECT_EQ(files_.Bytes("C:\\Vokarion\\VokarEn.exe"), Standins().Get(1, 11));
    EXPECT_EQ(files_.Files().size(), 1u) << "nothing left beside the product file";
    EXPECT_EQ(registry_.KeysOpen(), 0);

    EXPECT_EQ(RunOnce(), LookupMessage(kPolish, kSummaryNothingToDo));
}

TEST_F(ProductSystemTest, KindSixLinksTheHelpFilesOfTheDirectoryTheRunFound) {
    profile_.ProductKind = 6;
    Record("C:\\Vokarion\\");
    files_.AddDirectory("C:\\Vokarion");
    files_.AddFile("C:\\Vokarion\\VokarEn.exe", Standins().Get(1, 11));
    files_.AddFile("C:\\Vokarion\\Vokar.chm", {'I', 'T', 'S', 'F'});
    files_.AddFile("C:\\Vokarion\\VokarD.chm", {'I', 'T', 'S', 'F'});
    const std::string programs = "C:\\Users\\ala\\Start Menu\\Programs";
    registry_.SetString(RegistryHive::CurrentUser,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Programs", programs);
    const std::string group = programs + "\\" + std::string(StartMenuGroupName(profile_.ProductIndex, kGerman));
    files_.AddDirectory(group);

    EXPECT_EQ(RunOnce(), LookupMessage(kPolish, kSummaryNothingToDo));
    ASSERT_EQ(shell_.Links().size(), 2u);
    EXPECT_EQ(shell_.Links()[0].Target, "C:\\Vokarion\\Vokar.chm");
    EXPECT_EQ(shell_.Links()[1].Target, "C:\\Vokarion\\VokarD.chm");
    EXPECT_EQ(shell_.Links()[1].Path.rfind(group + "\\", 0), 0u);
}

// The run gives each selected file one deadline (/WAIT=) for all its steps: a file held for most of it at its
// recognition has only the rest for its swap, and its report says the time really waited, on the clock.
TEST_F(ProductSystemTest, EachFileHasOneDeadlineForItsRecognitionAndItsSwap) {
    Record("C:\\Vokarion");
    files_.AddDirectory("C:\\Vokarion");
    files_.AddFile("C:\\Vokarion\\VokarEn.exe", Standins().Get(1, 7));
    files_.HoldFiles(0, -1, 30);  // 1.5 s at its recognition, then for good at its swap
    testing::FakeClock clock;
    ProductSystem system(profile_, {files_, registry_, shell_, BuildResources(), decoder_}, std::chrono::seconds(2),
                         clock);
    RecordingView view;
    int pauses = 0;
    view.OnPause = [&](std::chrono::milliseconds pause) {
        ++pauses;
        clock.Advance(pause);
    };
    RunState state;
    RunUpdate(profile_, state, view, system, {});

    ASSERT_EQ(view.Files.size(), 1u);
    EXPECT_EQ(view.Files[0].State, FileState::NotRewritten);
    EXPECT_EQ(view.Files[0].Failure.Fault, FileFault::InUse);
    EXPECT_EQ(view.Files[0].Waited, std::chrono::seconds(2));
    EXPECT_EQ(pauses, 40);
    EXPECT_EQ(files_.Bytes("C:\\Vokarion\\VokarEn.exe"), Standins().Get(1, 7));
    EXPECT_EQ(files_.Files().size(), 1u);
}

}  // namespace
}  // namespace patcher

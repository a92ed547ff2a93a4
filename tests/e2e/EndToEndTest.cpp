// The real patcher exe under Wine, driven from outside through its windows: each scenario installs the
// product into a throwaway prefix (stand-in files, the registry record as the installer writes it), starts
// the patcher from the user's Downloads folder, and checks what the screen shows and what became of the files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "app/MainWindowDesign.h"
#include "profile/ProductProfile.h"
#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;
using C = MainControl;

// This build: the English edition, whose directory record is that of product 2, and its one file.
struct Build {
    ProductProfile Profile;
    Build() {
        SetProductIdentity(Profile, TablesOf());
        CompleteProfile(Profile, TablesOf());
    }
};
const ProductProfile& ThisBuild() {
    static const Build build;
    return build.Profile;
}

constexpr int kFile = 1;

ByteStringView FileNameOfUpdate() {
    return FileName(kFile);
}

ByteString Introduction(LanguageCode language) {
    return e2e::Introduction(language, TablesOf());
}

DriverScript& ExpectTextsIn(DriverScript& script, LanguageCode language) {
    return ExpectWindowTexts(script, language, TablesOf());
}

// A known build whose last sample is changed: the size of a known version, but no version's samples.
std::vector<std::uint8_t> UnknownVersion() {
    const int newest = TablesOf().NewestVersion(kFile);
    std::vector<std::uint8_t> bytes = Standin(kFile, newest);
    const SignatureEntry& last = TablesOf().FindSignatureTable(kFile, newest)->back();
    bytes[static_cast<std::size_t>(last.Offset)] ^= 0xFF;
    return bytes;
}

class EndToEnd : public ::testing::Test {
  protected:
    explicit EndToEnd(std::string locale = "C.UTF-8") : installation_(std::move(locale)) {}

    // The product installed as its installer leaves it: the record in the current user's hive.
    void InstallVersion(int version) {
        installation_.Put(FileNameOfUpdate(), Standin(kFile, version));
        installation_.Record("hkcu", ThisBuild().ProductIndex, installation_.WindowsFolder());
    }

    ByteString InstalledPath() const { return installation_.WindowsFile(FileNameOfUpdate()); }
    std::vector<std::uint8_t> Installed() const { return ReadBytes(installation_.File(FileNameOfUpdate())); }

    // The script's start: the patcher from the Downloads folder, showing its introduction.
    DriverScript Started() {
        DriverScript script;
        script.Start(installation_.Patcher()).ExpectText(C::lblMain, Introduction(kPolish));
        return script;
    }

    // Presses Update and checks the summary it ends with.
    static DriverScript& UpdateEndingIn(DriverScript& script, int summary) {
        return script.PostClick(C::btnUpdate)
            .ExpectText(C::lblMain, Message(kPolish, summary))
            .Expect(C::btnUpdate, "enabled")
            .Expect(C::btnZamknij, "enabled");
    }

    // Finish ends the program, with the exit code of the last run (or of no run at all).
    static DriverScript& Finished(DriverScript& script, int exitCode = kExitAllCurrent) {
        return script.PostClick(C::btnZamknij).Exited(exitCode);
    }

    // Update finds no directory: the dialog says so, the run fails, and Finish ends the program with 2.
    static DriverScript& DirectoryNotFound(DriverScript& script) {
        script.PostClick(C::btnUpdate)
            .WaitDialog(Message(kPolish, kMessageNoDirectory))
            .Answer()
            .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed));
        return Finished(script, kExitNoInstallDir);
    }

    void ExpectCompleted(const DriverReport& report) { EXPECT_TRUE(report.Completed()) << report.Text; }

    Installation installation_;
};

TEST_F(EndToEnd, EveryOlderVersionIsUpdatedToTheNewestAndASecondRunHasNothingToDo) {
    const int newest = TablesOf().NewestVersion(kFile);
    for (int version = 1; version < newest; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        InstallVersion(version);
        DriverScript script = Started();
        UpdateEndingIn(script, kSummaryUpdated).Expect(C::btnZamknij, "focused").NoDialog();
        UpdateEndingIn(script, kSummaryNothingToDo).Expect(C::btnZamknij, "focused");
        Finished(script);
        ExpectCompleted(installation_.Run(script));
        EXPECT_TRUE(Installed() == Standin(kFile, newest)) << "not the newest build, byte for byte";
        EXPECT_EQ(FileNames(installation_.Folder()), std::vector<std::string>{std::string(FileNameOfUpdate())});
    }
    EXPECT_TRUE(installation_.Shortcuts().empty()) << "a product of kind 1 has no help shortcuts to make";
}

TEST_F(EndToEnd, ACurrentFileNeedsNoUpdate) {
    InstallVersion(TablesOf().NewestVersion(kFile));
    DriverScript script = Started();
    UpdateEndingIn(script, kSummaryNothingToDo).Expect(C::btnZamknij, "focused").NoDialog();
    Finished(script);
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
}

TEST_F(EndToEnd, AnUnknownVersionIsNamedWithItsFullPathAndLeftAlone) {
    const std::vector<std::uint8_t> unknown = UnknownVersion();
    installation_.Put(FileNameOfUpdate(), unknown);
    installation_.Record("hkcu", ThisBuild().ProductIndex, installation_.WindowsFolder());
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .WaitDialog(Formatted(kPolish, kMessageUnknownVersion, InstalledPath()))
        // The run waits for the answer with its progress line shown and both push buttons off.
        .ExpectText(C::lblMain, Introduction(kPolish) + ProgressLine(kPolish, FileNameOfUpdate()))
        .Expect(C::btnUpdate, "disabled")
        .Expect(C::btnZamknij, "disabled")
        .Answer()
        .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed))
        .Expect(C::btnUpdate, "enabled");
    Finished(script, kExitSomeFileFailed);
    const DriverReport report = installation_.Run(script);
    ExpectCompleted(report);
    ASSERT_EQ(report.Dialogs().size(), 1U);
    EXPECT_NE(report.Dialogs()[0].find(Utf8FromWindows1250(InstalledPath())), std::string::npos)
        << "the dialog does not name " << InstalledPath();
    EXPECT_TRUE(Installed() == unknown);
}

TEST_F(EndToEnd, AMissingFileIsNamedWithItsFullPath) {
    installation_.Record("hkcu", ThisBuild().ProductIndex, installation_.WindowsFolder());
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .WaitDialog(Formatted(kPolish, kMessageFileMissing, InstalledPath()))
        .Answer()
        .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed));
    Finished(script, kExitSomeFileFailed);
    ExpectCompleted(installation_.Run(script));
    EXPECT_FALSE(fs::exists(installation_.File(FileNameOfUpdate()))) << "a file it cannot make was made";
}

TEST_F(EndToEnd, WithoutARecordTheDirectoryIsNotFoundAndNoFileIsLookedAt) {
    installation_.Put(FileNameOfUpdate(), Standin(kFile, 1));
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .WaitDialog(Message(kPolish, kMessageNoDirectory))
        .ExpectText(C::lblMain, Introduction(kPolish))  // no progress line
        .Answer()
        .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed))
        .Expect(C::btnUpdate, "enabled");
    Finished(script, kExitNoInstallDir);
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
}

TEST_F(EndToEnd, ARecordInTheLocalMachineHiveOnlyIsFound) {
    installation_.Put(FileNameOfUpdate(), Standin(kFile, TablesOf().NewestVersion(kFile) - 1));
    installation_.Record("hklm", ThisBuild().ProductIndex, installation_.WindowsFolder());
    DriverScript script = Started();
    UpdateEndingIn(script, kSummaryUpdated);
    Finished(script);
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
}

TEST_F(EndToEnd, ARecordNamingADirectoryThatDoesNotExistCountsAsNotFound) {
    installation_.Record("hkcu", ThisBuild().ProductIndex, "C:\\Program Files (x86)\\Vokarion Uninstalled\\");
    DriverScript script = Started();
    DirectoryNotFound(script);
    ExpectCompleted(installation_.Run(script));
}

// A failed run gives the focus back to Update, where Enter tries again: once the file may be written, it is.
TEST_F(EndToEnd, AReadOnlyFileFailsAndEnterTriesAgainOnceItIsWritable) {
    InstallVersion(1);
    fs::permissions(installation_.File(FileNameOfUpdate()),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed))
        .NoDialog()
        .Expect(C::btnUpdate, "focused")
        .Writable(InstalledPath())
        .Key("return")
        .ExpectText(C::lblMain, Message(kPolish, kSummaryUpdated));
    Finished(script);
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
    EXPECT_EQ(FileNames(installation_.Folder()), std::vector<std::string>{std::string(FileNameOfUpdate())})
        << "a rewrite left a file behind";
}

// An installer records a full path. Followed, the relative "Vokarion" would lead into the folder the patcher
// was started from, its Downloads folder, and update whatever lies there.
TEST_F(EndToEnd, ARecordOfARelativeFolderCountsAsNotFound) {
    const fs::path besideThePatcher = installation_.Downloads() / "Vokarion";
    fs::create_directories(besideThePatcher);
    const std::vector<std::uint8_t> old = Standin(kFile, 1);
    std::ofstream(besideThePatcher / std::string(FileNameOfUpdate()), std::ios::binary)
        .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
    installation_.Record("hkcu", ThisBuild().ProductIndex, "Vokarion");
    DriverScript script = Started();
    DirectoryNotFound(script);
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(ReadBytes(besideThePatcher / std::string(FileNameOfUpdate())) == old);
}

TEST_F(EndToEnd, AFileHeldOpenByAnotherProgramIsReportedUnreadable) {
    InstallVersion(1);
    DriverScript script;
    script.Hold(InstalledPath()).Start(installation_.Patcher());
    script.PostClick(C::btnUpdate)
        .WaitDialog(Formatted(kPolish, kMessageUnreadable, InstalledPath()))
        .Answer()
        .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed));
    Finished(script, kExitSomeFileFailed);
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
}

TEST_F(EndToEnd, ClosingIsRefusedWhileTheRunWaitsAndAllowedOnceItHasEnded) {
    installation_.Put(FileNameOfUpdate(), UnknownVersion());
    installation_.Record("hkcu", ThisBuild().ProductIndex, installation_.WindowsFolder());
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .WaitDialog(Formatted(kPolish, kMessageUnknownVersion, InstalledPath()))
        .SendClose()  // Alt+F4 or the taskbar while the dialog waits
        .Expect(C::Window, "visible")
        .Answer()
        .ExpectText(C::lblMain, Message(kPolish, kSummaryFailed))
        .SendClose()
        .Exited(kExitSomeFileFailed);
    ExpectCompleted(installation_.Run(script));
}

TEST_F(EndToEnd, EnterOnTheFreshWindowStartsTheUpdateAndThenFinishes) {
    InstallVersion(TablesOf().NewestVersion(kFile) - 1);
    DriverScript script = Started();
    script.Expect(C::btnUpdate, "focused")
        .Key("return")
        .ExpectText(C::lblMain, Message(kPolish, kSummaryUpdated))
        .Expect(C::btnZamknij, "focused")
        .Key("return")
        .Exited();
    ExpectCompleted(installation_.Run(script));
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
}

// The window's layout as the driver saw it against the design at that resolution: every control at its
// place and size (the auto-sized labels at their place), every text fitting its control, the client area
// scaled and the window centred on the screen.
void ExpectLaidOutAt(const DriverReport& report, std::size_t dump, int dpi) {
    const std::map<std::string, SeenControl> seen = report.Dump(dump);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kMainControlCount)) << report.Text;
    EXPECT_EQ(report.DumpNumbers("dpi", dump), std::vector<int>{dpi});
    for (const ControlDesign& design : MainWindowDesign) {
        const SeenControl& control = seen.at(MainControlName(design.Control));
        SCOPED_TRACE(MainControlName(design.Control));
        const DesignRect expected = ScaleToDpi(design.Bounds, dpi);
        EXPECT_EQ(control.Left, expected.Left);
        EXPECT_EQ(control.Top, expected.Top);
        if (!design.AutoSize) {
            EXPECT_EQ(control.Width, expected.Width);
            EXPECT_EQ(control.Height, expected.Height);
        }
        EXPECT_TRUE(control.Fits) << "\"" << control.Text << "\" is cut";
    }
    const std::vector<int> screen = report.DumpNumbers("size", dump);
    const std::vector<int> outer = report.DumpNumbers("rect", dump);
    ASSERT_EQ(screen.size(), 2U);
    ASSERT_EQ(outer.size(), 4U);
    EXPECT_LE(std::abs(outer[0] - (screen[0] - outer[2]) / 2), 1);
    EXPECT_LE(std::abs(outer[1] - (screen[1] - outer[3]) / 2), 1);
}

TEST_F(EndToEnd, TheEnglishFlagSwitchesEveryTextAndThePolishOneBack) {
    DriverScript script = Started();
    ExpectTextsIn(script, kPolish)
        .Expect(C::btnPolski, "visible enabled down")
        .Expect(C::btnAngielski, "visible enabled up")
        .Expect(C::btnNiemiecki, "hidden disabled")
        .Expect(C::btnFrancuski, "hidden disabled")
        .Dump(kPolish)
        .Click(C::btnAngielski);
    ExpectTextsIn(script, kEnglish)
        .Expect(C::btnAngielski, "down")
        .Expect(C::btnPolski, "up")
        .Dump(kEnglish)
        .Click(C::btnPolski);
    ExpectTextsIn(script, kPolish).Expect(C::btnPolski, "down").Expect(C::btnAngielski, "up");
    // The pressed flag goes up and nothing else changes.
    script.Click(C::btnPolski).Expect(C::btnPolski, "up").Expect(C::btnAngielski, "up");
    ExpectTextsIn(script, kPolish);
    Finished(script, kExitClosedBeforeRun);
    const DriverReport report = installation_.Run(script);
    ExpectCompleted(report);
    ExpectLaidOutAt(report, 0, 96);
    ExpectLaidOutAt(report, 1, 96);
}

TEST_F(EndToEnd, AtOneAndAHalfTimesTheResolutionEverythingIsOneAndAHalfTimesAsLarge) {
    installation_.SetDpi(144);
    DriverScript script = Started();
    script.Dump(kPolish).Click(C::btnAngielski).Dump(kEnglish);
    Finished(script, kExitClosedBeforeRun);
    const DriverReport report = installation_.Run(script);
    ExpectCompleted(report);
    ExpectLaidOutAt(report, 0, 144);
    ExpectLaidOutAt(report, 1, 144);
    EXPECT_EQ(report.Dump(0).at("Window").Width, 758);
    EXPECT_EQ(report.Dump(0).at("Window").Height, 533);
}

// The English edition starts in Polish under every locale, with its Polish letters intact whatever the
// system's code page is.
class EndToEndUnderLocale : public EndToEnd, public ::testing::WithParamInterface<const char*> {
  protected:
    EndToEndUnderLocale() : EndToEnd(GetParam()) {}
};

TEST_P(EndToEndUnderLocale, StartsInPolish) {
    DriverScript script = Started();
    ExpectTextsIn(script, kPolish).Expect(C::btnPolski, "down");
    Finished(script, kExitClosedBeforeRun);
    ExpectCompleted(installation_.Run(script));
}

INSTANTIATE_TEST_SUITE_P(Locales,
                         EndToEndUnderLocale,
                         ::testing::Values("pl_PL.UTF-8", "en_GB.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& locale) {
                             std::string name = locale.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace patcher::e2e

// The German edition's patcher (descriptions/VokarDe-2.1.toml), built by `./run build` in a folder of its own,
// under Wine: it starts in German under a German locale, updates its five files, creates the help files it
// may create, and puts the help shortcuts into the product's Start-menu group.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "shell/HelpShortcuts.h"
#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/GermanEdition.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;
using C = MainControl;

// What the German edition's description sets.
constexpr char kPatch[] = "VokarDe-2.1";
constexpr int kProductIndex = GermanProduct::kProductIndex;
constexpr int kFirstFile = 8;
constexpr int kLastFile = 12;
// The help files that the patcher creates where they are missing.
constexpr int kProgramHelp = 9;
constexpr int kDictionaryHelp = 10;

// The older single shortcut of each help topic, and the two that replace it (UTF-8, as this machine names
// the files that Wine makes).
const std::vector<std::string> kOlderShortcuts = {
    "Hilfedatei des \xC3\x9C"
    "bersetzungsprogramms.lnk",
    "Hilfedatei des W\xC3\xB6rterbuchs.lnk"};
const std::vector<std::string> kNewShortcuts = {
    "Hilfedatei des W\xC3\xB6rterbuchs (Deutsch).lnk",
    "Hilfedatei des W\xC3\xB6rterbuchs (Polnisch).lnk",
    "Hilfedatei des \xC3\x9C"
    "bersetzungsprogramms (Deutsch).lnk",
    "Hilfedatei des \xC3\x9C"
    "bersetzungsprogramms (Polnisch).lnk",
};

bool Contains(const std::vector<std::uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

class GermanEdition : public ::testing::Test {
  protected:
    GermanEdition() : installation_(GermanProduct::Install(kPatch)) {}

    // The edition installed at the oldest build of each file that it has, without the help files that the
    // update brings, with the Polish help files of the product, and with its record.
    void InstallOldest() {
        for (int file = kFirstFile; file <= kLastFile; ++file) {
            if (file != kProgramHelp && file != kDictionaryHelp) {
                installation_.Put(FileName(file), Standin(file, 1));
            }
        }
        installation_.Put("Vokar.chm", {'I', 'T', 'S', 'F'});
        installation_.Put("Sl_Zew.chm", {'I', 'T', 'S', 'F'});
        GermanProduct::Record(installation_);
    }

    fs::path Group() const {
        return installation_.StartMenuPrograms() / Utf8FromWindows1250(StartMenuGroupName(kProductIndex, kGerman));
    }

    // The product's group as its installer left it: the older shortcut of each help topic.
    void MakeGroup() {
        fs::create_directories(Group());
        for (const std::string& name : kOlderShortcuts) {
            std::ofstream(Group() / name) << "an older shortcut";
        }
    }

    DriverScript Started() {
        DriverScript script;
        script.Start(installation_.Patcher()).ExpectText(C::lblMain, Introduction(kGerman, TablesOf(kPatch)));
        return script;
    }

    Installation installation_;
};

TEST_F(GermanEdition, StartsInGermanWithTheGermanFlagBesideThePolishOne) {
    DriverScript script = Started();
    ExpectWindowTexts(script, kGerman, TablesOf(kPatch))
        .Expect(C::btnPolski, "visible down")
        .Expect(C::btnNiemiecki, "visible enabled up")
        .Expect(C::btnAngielski, "hidden disabled")
        .Expect(C::btnFrancuski, "hidden disabled")
        .Dump(kGerman)
        .Click(C::btnPolski);  // the pressed Polish flag goes up: the texts stay German
    ExpectWindowTexts(script, kGerman, TablesOf(kPatch)).Click(C::btnNiemiecki);
    ExpectWindowTexts(script, kGerman, TablesOf(kPatch)).PostClick(C::btnZamknij).Exited(kExitClosedBeforeRun);
    const DriverReport report = installation_.Run(script);
    ASSERT_TRUE(report.Completed()) << report.Text;
    const std::map<std::string, SeenControl> seen = report.Dump();
    EXPECT_EQ(seen.at("btnNiemiecki").Left, 238);
    EXPECT_EQ(seen.at("btnNiemiecki").Top, 236);
    for (const auto& [name, control] : seen) {
        EXPECT_TRUE(control.Fits) << name << ": \"" << control.Text << "\" is cut";
    }
}

TEST_F(GermanEdition, UpdatesEveryFileCreatesTheHelpFilesAndReplacesTheHelpShortcuts) {
    InstallOldest();
    MakeGroup();
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kGerman, kSummaryUpdated))
        .Expect(C::btnZamknij, "focused")
        .NoDialog()
        .PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kGerman, kSummaryNothingToDo))
        .PostClick(C::btnZamknij)
        .Exited();
    const DriverReport report = installation_.Run(script);
    ASSERT_TRUE(report.Completed()) << report.Text;

    for (int file = kFirstFile; file <= kLastFile; ++file) {
        SCOPED_TRACE(std::string(FileName(file)));
        EXPECT_TRUE(ReadBytes(installation_.File(FileName(file))) ==
                    Standin(file, TablesOf(kPatch).NewestVersion(file)));
    }
    EXPECT_EQ(FileNames(Group()), kNewShortcuts) << "the older shortcuts stay or a new one is missing";
    const std::string folder = installation_.WindowsFolder();
    const std::vector<std::pair<std::string, std::string>> targets = {
        {kNewShortcuts[0], "Sl_ZewD.chm"},
        {kNewShortcuts[1], "Sl_Zew.chm"},
        {kNewShortcuts[2], "VokarD.chm"},
        {kNewShortcuts[3], "Vokar.chm"},
    };
    for (const auto& [shortcut, target] : targets) {
        EXPECT_TRUE(Contains(ReadBytes(Group() / shortcut), folder + target)) << shortcut << " leads elsewhere";
    }
}

TEST_F(GermanEdition, AFileOfAnUnknownVersionIsLeftAloneAndTheOthersAreUpdated) {
    InstallOldest();
    constexpr int kUnknown = 11;
    std::vector<std::uint8_t> unknown = Standin(kUnknown, TablesOf(kPatch).NewestVersion(kUnknown));
    unknown[static_cast<std::size_t>(
        TablesOf(kPatch).FindSignatureTable(kUnknown, TablesOf(kPatch).NewestVersion(kUnknown))->back().Offset)] ^=
        0xFF;
    installation_.Put(FileName(kUnknown), unknown);
    DriverScript script = Started();
    script.PostClick(C::btnUpdate)
        .WaitDialog(Formatted(kGerman, kMessageUnknownVersion, installation_.WindowsFile(FileName(kUnknown))))
        .Answer()
        .ExpectText(C::lblMain, Message(kGerman, kSummaryFailed))
        .PostClick(C::btnZamknij)
        .Exited(kExitSomeFileFailed);
    const DriverReport report = installation_.Run(script);
    ASSERT_TRUE(report.Completed()) << report.Text;
    EXPECT_TRUE(ReadBytes(installation_.File(FileName(kUnknown))) == unknown);
    for (const int file : {8, 9, 10, 12}) {
        SCOPED_TRACE(std::string(FileName(file)));
        EXPECT_TRUE(ReadBytes(installation_.File(FileName(file))) ==
                    Standin(file, TablesOf(kPatch).NewestVersion(file)));
    }
    // The product has no Start-menu group here: the patcher makes none.
    EXPECT_FALSE(fs::exists(Group()));
    EXPECT_TRUE(installation_.Shortcuts().empty());
}

// The German edition's next patcher (tests/e2e/VokarDe-2.2.toml), over the release that `patchkit standin
// --next` writes: named and titled 2.2 by its description, it brings a fourth build of VokarDe.exe to every
// older one, whichever is installed.
TEST(GermanNextRelease, BringsItsFourthBuildOverEachOlderOneAndCallsItselfTwoPointTwo) {
    constexpr char kNext[] = "VokarDe-2.2";
    const fs::path release = fs::path(PATCHER_STANDIN_DIR).parent_path() / "next-standins";
    const std::vector<std::uint8_t> fourth = ReadBytes(release / "8" / "4" / "VokarDe.exe");
    ASSERT_EQ(TablesOf(kNext).NewestVersion(kFirstFile), 4);
    Installation installation = GermanProduct::Install(kNext);
    EXPECT_TRUE(installation.Patcher().ends_with("\\VokarDe-2.2-patch.exe")) << installation.Patcher();
    for (int file = kFirstFile + 1; file <= kLastFile; ++file) {
        installation.Put(FileName(file), Standin(file, TablesOf(kNext).NewestVersion(file)));
    }
    GermanProduct::Record(installation);
    for (const int build : {1, 2, 3}) {
        SCOPED_TRACE("build " + std::to_string(build));
        installation.Put(FileName(kFirstFile), Standin(kFirstFile, build));
        const std::string log = "C:\\next-" + std::to_string(build) + ".log";
        EXPECT_EQ(installation.RunPatcher({"/S", "/LANG=DE", "/LOG=" + log}), kExitAllCurrent);
        EXPECT_TRUE(ReadBytes(installation.File(FileName(kFirstFile))) == fourth);
        std::ifstream in(installation.Prefix().DriveC() / ("next-" + std::to_string(build) + ".log"));
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NE(text.find("VokarDe-2.2-patch.exe 2.2, process "), std::string::npos) << text;
        EXPECT_NE(text.find("VokarDe.exe: updated from build " + std::to_string(build) + " to build 4"),
                  std::string::npos)
            << text;
    }
}

}  // namespace
}  // namespace patcher::e2e

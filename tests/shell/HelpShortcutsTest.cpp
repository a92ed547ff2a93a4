#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/HelpShortcuts.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/MemoryRegistry.h"
#include "tests/support/RecordingShell.h"

namespace patcher {
namespace {

using testing::MemoryFileSystem;
using testing::MemoryRegistry;
using testing::RecordingShell;

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kPrograms = "C:\\Users\\anna\\Start Menu\\Programs";
constexpr const char* kInstallDir = "C:\\Vokarion\\";
constexpr int kProduct = 4;  // the German edition: its group has a German name

const std::string kGroup = std::string(kPrograms) + "\\Vokarion Deutsch-Polnisch";
const std::string kOldProgramHelp = kGroup + "\\Hilfedatei des Übersetzungsprogramms.lnk";
const std::string kOldDictionaryHelp = kGroup + "\\Hilfedatei des Wörterbuchs.lnk";
const std::string kProgramHelpPl = kGroup + "\\Hilfedatei des Übersetzungsprogramms (Polnisch).lnk";
const std::string kProgramHelpDe = kGroup + "\\Hilfedatei des Übersetzungsprogramms (Deutsch).lnk";
const std::string kDictionaryHelpPl = kGroup + "\\Hilfedatei des Wörterbuchs (Polnisch).lnk";
const std::string kDictionaryHelpDe = kGroup + "\\Hilfedatei des Wörterbuchs (Deutsch).lnk";

ProductProfile Profile(int kind, int productIndex = kProduct) {
    ProductProfile profile;
    profile.ProductKind = kind;
    profile.ProductIndex = productIndex;
    return profile;
}

std::vector<std::string> LinkPaths(const RecordingShell& shell) {
    std::vector<std::string> paths;
    for (const auto& link : shell.Links()) {
        paths.push_back(link.Path);
    }
    return paths;
}

// A product of kind 6 as installed: its Start-menu group with the older shortcuts, and all four help files.
class CreateHelpShortcutsTest : public ::testing::Test {
  protected:
    CreateHelpShortcutsTest() {
        registry_.SetString(RegistryHive::CurrentUser, kShellFolders, "Programs", kPrograms);
        files_.AddDirectory(kPrograms);
        files_.AddDirectory(kGroup);
        files_.AddFile(kOldProgramHelp, {});
        files_.AddFile(kOldDictionaryHelp, {});
        for (const char* help : {"Vokar.chm", "VokarD.chm", "Sl_Zew.chm", "Sl_ZewD.chm"}) {
            files_.AddFile(std::string(kInstallDir) + help, {1});
        }
    }

    void Run(const ProductProfile& profile, ByteStringView installDir = kInstallDir) {
        CreateHelpShortcuts(profile, installDir, registry_, files_, shell_);
        EXPECT_EQ(registry_.KeysOpen(), 0);
    }

    MemoryRegistry registry_;
    MemoryFileSystem files_;
    RecordingShell shell_;
};

TEST_F(CreateHelpShortcutsTest, ReplacesTheOlderShortcutOfEachTopicByAPolishAndAGermanOne) {
    Run(Profile(6));
    EXPECT_EQ(shell_.Removed(), (std::vector<std::string>{kOldProgramHelp, kOldDictionaryHelp}));
    ASSERT_EQ(LinkPaths(shell_),
              (std::vector<std::string>{kProgramHelpPl, kProgramHelpDe, kDictionaryHelpPl, kDictionaryHelpDe}));
    const char* targets[] = {"Vokar.chm", "VokarD.chm", "Sl_Zew.chm", "Sl_ZewD.chm"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(shell_.Links()[i].Target, std::string(kInstallDir) + targets[i]);
        EXPECT_EQ(shell_.Links()[i].WorkingDirectory, kInstallDir);
    }
}

TEST_F(CreateHelpShortcutsTest, OtherKindsTouchNothing) {
    for (const int kind : {1, 2, 3, 4, 5, 0, 7}) {
        Run(Profile(kind));
    }
    EXPECT_TRUE(registry_.Opened().empty());
    EXPECT_EQ(shell_.Attempts(), 0);
}

TEST_F(CreateHelpShortcutsTest, AMissingGroupFolderIsNeverCreated) {
    MemoryFileSystem noGroup;
    noGroup.AddDirectory(kPrograms);
    noGroup.AddFile(std::string(kInstallDir) + "Vokar.chm", {1});
    noGroup.AddFile(std::string(kInstallDir) + "VokarD.chm", {1});
    const std::vector<ShortcutProblem> problems =
        CreateHelpShortcuts(Profile(6), kInstallDir, registry_, noGroup, shell_);
    EXPECT_EQ(shell_.Attempts(), 0);
    // The run's log says why none were made.
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].What, ShortcutProblem::Kind::NoGroupFolder);
    EXPECT_EQ(problems[0].Path, kGroup);
}

TEST_F(CreateHelpShortcutsTest, NoProgramsFolderMeansNothingToDo) {
    MemoryRegistry noFolder;
    const std::vector<ShortcutProblem> problems =
        CreateHelpShortcuts(Profile(6), kInstallDir, noFolder, files_, shell_);
    EXPECT_EQ(shell_.Attempts(), 0);
    EXPECT_EQ(noFolder.Opened().size(), 1u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].What, ShortcutProblem::Kind::NoProgramsFolder);
}

TEST_F(CreateHelpShortcutsTest, AnExpandableProgramsFolderIsUsedUnexpanded) {
    const std::string unexpanded = "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs";
    registry_.SetValue(RegistryHive::CurrentUser, kShellFolders, "Programs", kRegistryExpandString, unexpanded + '\0');
    Run(Profile(6));
    EXPECT_EQ(shell_.Attempts(), 0) << "no group folder lies under the unexpanded path";

    files_.AddDirectory(unexpanded + "\\Vokarion Deutsch-Polnisch");
    Run(Profile(6));
    ASSERT_EQ(shell_.Links().size(), 4u);
    EXPECT_EQ(shell_.Links()[0].Path.rfind(unexpanded + "\\", 0), 0u);
}

TEST_F(CreateHelpShortcutsTest, WithoutAnInstallationDirectoryOnlyTheProgramsFolderIsRead) {
    Run(Profile(6), "");
    EXPECT_EQ(shell_.Attempts(), 0);
    ASSERT_EQ(registry_.Opened().size(), 1u);
    EXPECT_EQ(registry_.Opened()[0].Path, kShellFolders);
}

TEST_F(CreateHelpShortcutsTest, ATopicWithAMissingHelpFileIsSkippedWhole) {
    MemoryFileSystem partial;
    partial.AddDirectory(kGroup);
    partial.AddFile(kOldProgramHelp, {});
    partial.AddFile(kOldDictionaryHelp, {});
    partial.AddFile(std::string(kInstallDir) + "Vokar.chm", {1});
    partial.AddFile(std::string(kInstallDir) + "Sl_Zew.chm", {1});
    partial.AddFile(std::string(kInstallDir) + "Sl_ZewD.chm", {1});
    const std::vector<ShortcutProblem> problems =
        CreateHelpShortcuts(Profile(6), kInstallDir, registry_, partial, shell_);
    EXPECT_EQ(shell_.Removed(), std::vector<std::string>{kOldDictionaryHelp});
    EXPECT_EQ(LinkPaths(shell_), (std::vector<std::string>{kDictionaryHelpPl, kDictionaryHelpDe}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].What, ShortcutProblem::Kind::HelpFileMissing);
    EXPECT_EQ(problems[0].Path, std::string(kInstallDir) + "VokarD.chm");
}

TEST_F(CreateHelpShortcutsTest, AnAbsentOlderShortcutIsNotDeleted) {
    MemoryFileSystem noOld;
    noOld.AddDirectory(kGroup);
    for (const char* help : {"Vokar.chm", "VokarD.chm", "Sl_Zew.chm", "Sl_ZewD.chm"}) {
        noOld.AddFile(std::string(kInstallDir) + help, {1});
    }
    CreateHelpShortcuts(Profile(6), kInstallDir, registry_, noOld, shell_);
    EXPECT_TRUE(shell_.Removed().empty());
    EXPECT_EQ(shell_.Links().size(), 4u);
}

TEST_F(CreateHelpShortcutsTest, FailuresAreSilentAndTheNextStepIsStillTried) {
    shell_.FailRemove(kOldProgramHelp);
    shell_.FailLink(kProgramHelpPl);
    shell_.FailLink(kDictionaryHelpDe);
    Run(Profile(6));
    EXPECT_EQ(shell_.Removed(), (std::vector<std::string>{kOldProgramHelp, kOldDictionaryHelp}));
    EXPECT_EQ(LinkPaths(shell_), (std::vector<std::string>{kProgramHelpDe, kDictionaryHelpPl}));
}

TEST_F(CreateHelpShortcutsTest, ADirectoryWithoutAFinalSeparatorGetsOne) {
    Run(Profile(6), "C:\\Vokarion");
    ASSERT_EQ(shell_.Links().size(), 4u);
    EXPECT_EQ(shell_.Links()[0].Target, "C:\\Vokarion\\Vokar.chm");
    EXPECT_EQ(shell_.Links()[0].WorkingDirectory, "C:\\Vokarion\\");
}

// The group of a product without a group name is the Programs folder joined with the empty name: the Programs
// folder itself, which exists. A product index outside the table does nothing.
TEST_F(CreateHelpShortcutsTest, AProductWithoutAGroupNameUsesTheProgramsFolderItself) {
    const std::string programs = std::string(kPrograms) + "\\";
    files_.AddFile(programs + "Hilfedatei des Wörterbuchs.lnk", {});
    for (const int product : {0, 11}) {
        Run(Profile(6, product));
    }
    EXPECT_EQ(shell_.Attempts(), 0);
    for (const int product : {7, 10}) {
        RecordingShell shell;
        CreateHelpShortcuts(Profile(6, product), kInstallDir, registry_, files_, shell);
        EXPECT_EQ(shell.Removed(), std::vector<std::string>{programs + "Hilfedatei des Wörterbuchs.lnk"}) << product;
        EXPECT_EQ(LinkPaths(shell),
                  (std::vector<std::string>{programs + "Hilfedatei des Übersetzungsprogramms (Polnisch).lnk",
                                            programs + "Hilfedatei des Übersetzungsprogramms (Deutsch).lnk",
                                            programs + "Hilfedatei des Wörterbuchs (Polnisch).lnk",
                                            programs + "Hilfedatei des Wörterbuchs (Deutsch).lnk"}))
            << product;
    }
}

TEST(StartMenuGroupName, HasTheShapeOfTheProductFamilysTable) {
    for (int product = 1; product <= 10; ++product) {
        for (LanguageCode language = 4; language < kLanguageCount; ++language) {
            EXPECT_EQ(StartMenuGroupName(product, language), "") << product << "/" << int{language};
        }
        const ByteStringView polish = StartMenuGroupName(product, kPolish);
        EXPECT_EQ(polish.empty(), product > 6) << product;
        EXPECT_EQ(StartMenuGroupName(product, kEnglish), polish);
        EXPECT_EQ(StartMenuGroupName(product, kFrench), polish);
        const ByteStringView german = StartMenuGroupName(product, kGerman);
        if (product == 4 || product == 5) {
            EXPECT_NE(german, polish);
            EXPECT_FALSE(german.empty());
        } else {
            EXPECT_EQ(german, polish) << product;
        }
    }
    EXPECT_THROW(StartMenuGroupName(0, kPolish), std::out_of_range);
    EXPECT_THROW(StartMenuGroupName(11, kPolish), std::out_of_range);
    EXPECT_THROW(StartMenuGroupName(1, 7), std::out_of_range);
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include "shell/StartMenu.h"
#include "tests/support/MemoryRegistry.h"
#include "tests/support/RecordingShell.h"

namespace patcher {
namespace {

using testing::MemoryRegistry;
using testing::RecordingShell;

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(ReadProgramsFolder, ReturnsTheCurrentUsersValueAsStored) {
    MemoryRegistry registry;
    EXPECT_EQ(ReadProgramsFolder(registry), "");  // no key

    registry.SetString(RegistryHive::LocalMachine, kShellFolders, "Programs", "C:\\All Users\\Programs");
    EXPECT_EQ(ReadProgramsFolder(registry), "");  // only the current user's hive counts

    registry.SetString(RegistryHive::CurrentUser, kShellFolders, "Common Programs", "C:\\Common");
    EXPECT_EQ(ReadProgramsFolder(registry), "");  // the key without the value

    registry.SetString(RegistryHive::CurrentUser, kShellFolders, "Programs", "C:\\Users\\anna\\Programs");
    EXPECT_EQ(ReadProgramsFolder(registry), "C:\\Users\\anna\\Programs");

    registry.SetValue(RegistryHive::CurrentUser, kShellFolders, "Programs", kRegistryExpandString,
                      std::string("%APPDATA%\\Programs\0junk", 23));
    EXPECT_EQ(ReadProgramsFolder(registry), "%APPDATA%\\Programs");
    EXPECT_EQ(registry.KeysOpen(), 0);
}

TEST(ReadProgramsFolder, AnyFailureGivesAnEmptyPath) {
    MemoryRegistry registry;
    registry.SetValue(RegistryHive::CurrentUser, kShellFolders, "Programs", kRegistryDword, "\x01\x02\x03\x04");
    EXPECT_EQ(ReadProgramsFolder(registry), "");

    registry.SetString(RegistryHive::CurrentUser, kShellFolders, "Programs", "C:\\Programs");
    registry.FailRead(RegistryHive::CurrentUser, kShellFolders, "Programs");
    EXPECT_EQ(ReadProgramsFolder(registry), "");

    MemoryRegistry refused;
    refused.SetString(RegistryHive::CurrentUser, kShellFolders, "Programs", "C:\\Programs");
    refused.RefuseKey(RegistryHive::CurrentUser, kShellFolders);
    EXPECT_EQ(ReadProgramsFolder(refused), "");
    EXPECT_EQ(registry.KeysOpen(), 0);
}

TEST(CreateShellLink, GivesTheLinkTheTargetsDirectoryAsWorkingDirectory) {
    RecordingShell shell;
    EXPECT_TRUE(CreateShellLink("C:\\Vokarion\\Vokar.chm", "C:\\Menu\\Hilfe.lnk", shell));
    ASSERT_EQ(shell.Links().size(), 1u);
    EXPECT_EQ(shell.Links()[0].Path, "C:\\Menu\\Hilfe.lnk");
    EXPECT_EQ(shell.Links()[0].Target, "C:\\Vokarion\\Vokar.chm");
    EXPECT_EQ(shell.Links()[0].WorkingDirectory, "C:\\Vokarion\\");

    shell.FailLink("C:\\Menu\\Broken.lnk");
    EXPECT_FALSE(CreateShellLink("C:\\Vokarion\\Vokar.chm", "C:\\Menu\\Broken.lnk", shell));
}

TEST(StartMenuPaths, DirectoryPartKeepsTheFinalSeparator) {
    EXPECT_EQ(DirectoryPart("C:\\Vokarion\\Vokar.chm"), "C:\\Vokarion\\");
    EXPECT_EQ(DirectoryPart("C:\\Vokarion\\"), "C:\\Vokarion\\");
    EXPECT_EQ(DirectoryPart("C:Vokar.chm"), "C:");
    EXPECT_EQ(DirectoryPart("\\\\server\\share\\Vokar.chm"), "\\\\server\\share\\");
    EXPECT_EQ(DirectoryPart("C:/Vokarion/Vokar.chm"), "C:/Vokarion/");
    EXPECT_EQ(DirectoryPart("Vokar.chm"), "");
    EXPECT_EQ(DirectoryPart(""), "");
}

TEST(StartMenuPaths, JoinPathUsesExactlyOneSeparator) {
    EXPECT_EQ(JoinPath("C:\\Vokarion\\", "Vokar.chm"), "C:\\Vokarion\\Vokar.chm");
    EXPECT_EQ(JoinPath("C:\\Vokarion", "Vokar.chm"), "C:\\Vokarion\\Vokar.chm");
    EXPECT_EQ(JoinPath("C:/Vokarion/", "Vokar.chm"), "C:/Vokarion/Vokar.chm");
}

}  // namespace
}  // namespace patcher

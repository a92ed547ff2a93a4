#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/FolderAndFileStates.h"
#include "tests/app/ScriptedSystem.h"

namespace patcher {
namespace {

using testing::ScriptedSystem;
using Lines = std::vector<std::string>;

class LocateProductFolderTest : public ::testing::Test {
  protected:
    LocateProductFolderTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
    }

    // The folder found, with what was asked of the user and of the system on the way.
    ProductFolder Locate(const RunOptions& options = {}) {
        return LocateProductFolder(profile_, system_, options, [this] {
            asked_.push_back("asked");
            return chosen_;
        });
    }

    ProductProfile profile_;
    ScriptedSystem system_;
    std::optional<ByteString> chosen_;
    Lines asked_;
};

// An installer records a full path. One relative to the current folder or drive is damaged data: followed, it
// would lead to wherever the patcher happens to be started, so it is not used, even where it exists.
TEST_F(LocateProductFolderTest, OnlyAnExistingFullPathIsUsedAndItEndsInOneDelimiter) {
    const struct {
        ByteString Recorded;
        FolderVerdict Verdict;
        ByteString Used;
    } cases[] = {
        {"", FolderVerdict::NoneFound, ""},
        {"Vokarion", FolderVerdict::NotFullPath, "Vokarion"},
        {".\\Vokarion", FolderVerdict::NotFullPath, ".\\Vokarion"},
        {"C:Vokarion", FolderVerdict::NotFullPath, "C:Vokarion"},
        {"\\Vokarion", FolderVerdict::NotFullPath, "\\Vokarion"},
        {"D:\\Gone", FolderVerdict::Missing, "D:\\Gone"},
        {"C:\\Vokarion", FolderVerdict::Used, "C:\\Vokarion\\"},
        {"C:\\Vokarion\\", FolderVerdict::Used, "C:\\Vokarion\\"},
        {"D:/Vokarion", FolderVerdict::Used, "D:/Vokarion\\"},
        {"\\\\serwer\\programy\\Vokarion", FolderVerdict::Used, "\\\\serwer\\programy\\Vokarion\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Recorded);
        system_ = {};
        system_.RecordedDirectory = c.Recorded;
        if (c.Recorded != "D:\\Gone") {
            system_.Directories.insert(c.Recorded);
        }
        const ProductFolder folder = Locate();
        EXPECT_EQ(folder.Verdict, c.Verdict);
        EXPECT_EQ(folder.Path, c.Used);
        EXPECT_EQ(folder.Source, c.Recorded.empty() ? FolderSource::None : FolderSource::CurrentUserRecord);
    }
    EXPECT_TRUE(asked_.empty());
}

// /DIR= stands in for the record, which is then not even read.
TEST_F(LocateProductFolderTest, TheCommandLinesFolderReplacesTheRecord) {
    system_.Install({});
    system_.Directories.insert("E:\\Inny");
    const ProductFolder folder = Locate({.Folder = "E:\\Inny"});
    EXPECT_EQ(folder.Path, "E:\\Inny\\");
    EXPECT_EQ(folder.Source, FolderSource::CommandLine);
    EXPECT_EQ(folder.Verdict, FolderVerdict::Used);
    EXPECT_TRUE(system_.Calls.empty());
}

// Only kind 4 asks for the program file, and only where the folder found cannot be used: the file's folder is
// then the one (a file at a drive's root lies in the root, "C:\", not in the drive's current folder "C:"),
// while a cancelled question leaves the folder as it was found.
TEST_F(LocateProductFolderTest, KindFourAsksForTheProgramFileInsteadOfAFolderItCannotUse) {
    for (const std::int32_t kind : {0, 1, 2, 3, 5, 6, 7}) {
        profile_.ProductKind = kind;
        chosen_ = "C:\\Vokarion\\VokarEn.exe";
        system_.Directories.insert("C:\\Vokarion");
        EXPECT_EQ(Locate().Verdict, FolderVerdict::NoneFound) << kind;
    }
    EXPECT_TRUE(asked_.empty());

    profile_.ProductKind = 4;
    system_.Directories.insert("C:\\");
    chosen_ = "C:\\VokarEn.exe";
    ProductFolder folder = Locate();
    EXPECT_EQ(folder.Path, "C:\\");
    EXPECT_EQ(folder.Source, FolderSource::OpenDialog);
    EXPECT_EQ(folder.Verdict, FolderVerdict::Used);

    system_.RecordedDirectory = "F:\\Stary";
    chosen_.reset();
    folder = Locate();
    EXPECT_EQ(folder.Path, "F:\\Stary");
    EXPECT_EQ(folder.Verdict, FolderVerdict::Missing);
    EXPECT_EQ(asked_.size(), 2u);

    system_.Install({});
    Locate();
    EXPECT_EQ(asked_.size(), 2u) << "a recorded folder that exists asks nothing";
}

// Only a file that the system says is not there is absent, to be created or reported missing; one whose
// presence it cannot tell (access denied, a network failure) is unreadable, with the system's number, and is
// neither looked at nor made.
TEST(AssessFile, AFileIsAbsentOnlyWhereTheSystemSaysItIsNotThere) {
    ScriptedSystem system;
    system.Install({});
    const ByteString program = "C:\\Vokarion\\VokarEn.exe", help = "C:\\Vokarion\\VokarD.chm";
    InUseWait wait;
    EXPECT_EQ(AssessFile(1, program, system, wait).State, FileState::NotFound);
    EXPECT_EQ(AssessFile(9, help, system, wait).State, FileState::NeedsCreating);

    // ERROR_ACCESS_DENIED and ERROR_BAD_NETPATH, as Windows numbers them.
    for (const unsigned long error : {5ul, 53ul}) {
        SCOPED_TRACE(error);
        for (const auto& [index, path] : {std::pair(1, program), std::pair(9, help)}) {
            system.LookUpErrors[path] = error;
            const FileReport file = AssessFile(index, path, system, wait);
            EXPECT_EQ(file.State, FileState::Unreadable);
            EXPECT_EQ(file.Failure.SystemCode, error);
            EXPECT_NE(file.Failure.Fault, FileFault::None);
        }
    }
    EXPECT_TRUE(system.Calls.empty()) << "recognised: " << system.Calls.front();
}

}  // namespace
}  // namespace patcher

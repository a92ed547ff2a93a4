#include <gtest/gtest.h>

#include <string>

#include "common/PathText.h"

namespace patcher {
namespace {

TEST(PathText, TheFolderOfAPathKeepsTheDelimiterOfARootOnly) {
    struct Case {
        const char* Path;
        const char* Folder;
        const char* Name;
    };
    for (const Case& c : {
             Case{"C:\\Vokarion\\VokarEn.exe", "C:\\Vokarion", "VokarEn.exe"},
             Case{"C:\\VokarEn.exe", "C:\\", "VokarEn.exe"},
             Case{"C:/VokarEn.exe", "C:/", "VokarEn.exe"},
             Case{"C:\\\\VokarEn.exe", "C:\\\\", "VokarEn.exe"},
             Case{"C:\\Vokarion\\\\VokarEn.exe", "C:\\Vokarion", "VokarEn.exe"},
             Case{"\\VokarEn.exe", "\\", "VokarEn.exe"},
             Case{"/tmp/VokarEn.exe", "/tmp", "VokarEn.exe"},
             Case{"\\\\serwer\\programy\\VokarEn.exe", "\\\\serwer\\programy", "VokarEn.exe"},
             Case{"C:VokarEn.exe", "C:", "VokarEn.exe"},
             Case{"VokarEn.exe", "", "VokarEn.exe"},
             Case{"C:\\Vokarion\\", "C:\\Vokarion", ""},
             Case{"", "", ""},
         }) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(FolderOf(c.Path), c.Folder);
        EXPECT_EQ(NameOf(c.Path), c.Name);
    }
}

TEST(PathText, AFullPathNamesADriveAndItsRootOrAShare) {
    for (const char* full : {"C:\\Vokarion", "c:/Vokarion", "Z:\\", "\\\\serwer\\programy", "\\\\?\\C:\\Vokarion"}) {
        EXPECT_TRUE(IsFullPath(full)) << full;
    }
    for (const char* relative : {"", "Vokarion", ".\\Vokarion", "..\\Vokarion", "\\Vokarion", "C:", "C:Vokarion",
                                 "\\\\", "\\\\\\serwer", "1:\\Vokarion"}) {
        EXPECT_FALSE(IsFullPath(relative)) << relative;
    }
    // "/Vokarion" starts at the root of the current drive on Windows, and at the root on other systems.
#ifdef _WIN32
    EXPECT_FALSE(IsFullPath("/Vokarion"));
#else
    EXPECT_TRUE(IsFullPath("/tmp/Vokarion"));
#endif
}

}  // namespace
}  // namespace patcher

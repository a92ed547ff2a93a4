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

// In a double-byte code page a character's second byte may be the byte of "\\": Shift-JIS writes the folder
// name "\u8868" as 95 5C. It never counts as a delimiter.
TEST(PathText, TheSecondByteOfADoubleByteCharacterIsNoDelimiter) {
    struct ShiftJisLeads {
        ShiftJisLeads() {
            std::array<bool, 256> leads{};
            for (int byte = 0x81; byte <= 0xFC; ++byte) {
                leads[static_cast<std::size_t>(byte)] = byte <= 0x9F || byte >= 0xE0;
            }
            SetPathLeadBytes(leads);
        }
        ~ShiftJisLeads() { SetPathLeadBytes({}); }
    } shiftJis;
    const ByteString folder = "C:\\Programy\\\x95\x5C";
    EXPECT_FALSE(EndsInDelimiter(folder));
    EXPECT_EQ(FolderOf(folder + "\\VokarEn.exe"), folder);
    EXPECT_EQ(NameOf(folder + "\\VokarEn.exe"), "VokarEn.exe");
    EXPECT_EQ(NameOf(folder), "\x95\x5C");
    EXPECT_EQ(NextDelimiter(folder, 12), ByteStringView::npos);
    EXPECT_TRUE(EndsInDelimiter(folder + "\\"));
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include "platform/win32/AnsiPath.h"

namespace patcher {
namespace {

// In a double-byte code page the second byte of a character can be the byte of "\": the name starts after
// the last character that is a delimiter, not after the last such byte.
TEST(AnsiPath, FindsTheNameByCharactersNotBytes) {
    const ByteString path = "C:\\Vokarion\\\x95\x5C.exe";  // the name is one Japanese character and ".exe"
    EXPECT_EQ(win32::NameStartInCodePage(path, 932), 12u);
    EXPECT_EQ(win32::NameStartInCodePage(path, 1250), 14u);
    EXPECT_EQ(win32::NameStartInCodePage("C:VokarEn.exe", 932), 2u);
    EXPECT_EQ(win32::NameStartInCodePage("VokarEn.exe", 932), 0u);
    EXPECT_EQ(win32::NameStartInCodePage("\\\\serwer\\programy/VokarEn.exe", 1250), 18u);
}

}  // namespace
}  // namespace patcher

// The patcher as a deployment tool or a logon script starts it: no window, an exit code for each outcome,
// and a log in UTF-8 of what the window would have shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "engine/SignatureTables.h"
#include "engine/VersionTables.h"
#include "profile/ProductProfile.h"
#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kFile = 1;          // VokarEn.exe, the English edition's one file
constexpr int kProductIndex = 2;  // whose record its installer writes
const std::string kLog = "C:\\Logi\\vokarion.log";

class Unattended : public ::testing::Test {
  protected:
    Unattended() : logFile_(installation_.Prefix().DriveC() / "Logi" / "vokarion.log") {
        fs::create_directories(logFile_.parent_path());
    }

    void Install(const std::vector<std::uint8_t>& bytes, bool recorded = true) {
        installation_.Put(FileName(kFile), bytes);
        if (recorded) {
            installation_.Record("hkcu", kProductIndex, installation_.WindowsFolder());
        }
    }
    std::vector<std::uint8_t> Installed() const { return ReadBytes(installation_.File(FileName(kFile))); }
    std::string Log() const {
        std::ifstream in(logFile_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string Text(ByteStringView windows1250) { return Utf8FromWindows1250(windows1250); }

    Installation installation_;
    fs::path logFile_;
};

TEST_F(Unattended, SilentlyUpdatesTheRecordedProductAndASecondRunHasNothingToDo) {
    Install(Standin(kFile, 1));
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=" + kLog}), kExitAllCurrent);
    EXPECT_TRUE(Installed() == Standin(kFile, NewestVersion(kFile)));
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=" + kLog}), kExitAllCurrent);

    // Both runs appended to one log, each from its first line to its exit code, in the window's language.
    const std::string log = Log();
    const std::size_t first = log.find(" VokarEn-1.5.3-patch.exe 1.5.3: ");
    const std::size_t updated = log.find(Text(Message(kPolish, 272)) + "\r\nexit code 0\r\n");
    const std::size_t second = log.find(" VokarEn-1.5.3-patch.exe 1.5.3: ", first + 1);
    const std::size_t current = log.find(Text(Message(kPolish, 274)) + "\r\nexit code 0\r\n");
    EXPECT_TRUE(first < updated && updated < second && second < current && current != std::string::npos) << log;
    EXPECT_NE(log.find(Text(ProgressLine(kPolish, FileName(kFile))) + "OK\r\n"), std::string::npos) << log;
    EXPECT_TRUE(
        std::regex_search(log, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d VokarEn-1\.5\.3-patch\.exe 1\.5\.3: )"
                                          R"(.*VokarEn-1\.5\.3-patch\.exe"? /S /LOG=C:\\Logi\\vokarion\.log\r\n)")))
        << log;
}

TEST_F(Unattended, WithoutARecordItEndsInTwoUnlessTheCommandLineNamesTheFolder) {
    Install(Standin(kFile, 1), false);
    EXPECT_EQ(installation_.RunPatcher({"/S"}), kExitNoInstallDir);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
    EXPECT_EQ(installation_.RunPatcher({"-silent", "/DIR=" + installation_.WindowsFolder()}), kExitAllCurrent);
    EXPECT_TRUE(Installed() == Standin(kFile, NewestVersion(kFile)));
}

TEST_F(Unattended, AnUnknownVersionEndsInOneAndTheLogNamesItsFullPathInTheLanguageAskedFor) {
    std::vector<std::uint8_t> unknown = Standin(kFile, NewestVersion(kFile));
    unknown[static_cast<std::size_t>(FindSignatureTable(kFile, NewestVersion(kFile))->back().Offset)] ^= 0xFF;
    Install(unknown);
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LANG=EN", "/LOG=" + kLog}), kExitSomeFileFailed);
    EXPECT_TRUE(Installed() == unknown);
    const std::string log = Log();
    EXPECT_NE(log.find(Text(Formatted(kEnglish, 279, installation_.WindowsFile(FileName(kFile)))) + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(Text(Message(kEnglish, 273)) + "\r\nexit code 1\r\n"), std::string::npos) << log;
}

TEST_F(Unattended, ACommandLineItDoesNotUnderstandEndsInThreeAndChangesNothing) {
    Install(Standin(kFile, 1));
    EXPECT_EQ(installation_.RunPatcher({"/S", "/UPDATE", "/LOG=" + kLog}), kExitBadCommandLine);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
    const std::string log = Log();
    EXPECT_NE(log.find("Unknown option: /UPDATE\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("exit code 3\r\n"), std::string::npos) << log;
    // A log that cannot be appended to (a folder) is found before anything is done.
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=C:\\Logi"}), kExitBadCommandLine);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
}

}  // namespace
}  // namespace patcher::e2e

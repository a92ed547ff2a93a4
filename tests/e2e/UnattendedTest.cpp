// The patcher as a deployment tool or a start-up script starts it: no window and nothing that waits for a
// person, an exit code for each outcome, and a log in UTF-8 that says what was done and why.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ExitCodes.h"
#include "profile/ProductProfile.h"
#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr int kFile = 1;          // VokarEn.exe, the English edition's one file
constexpr int kProductIndex = 2;  // whose record its installer writes
const std::string kLog = "C:\\Logi\\vokarion.log";

class Unattended : public ::testing::Test {
  protected:
    explicit Unattended(const fs::path& patcher = PatcherExe())
        : installation_("C.UTF-8", patcher), logFile_(installation_.Prefix().DriveC() / "Logi" / "vokarion.log") {
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
    // The log's lines without their time stamps, each of which is checked on the way.
    Lines LogTexts() const {
        const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d\d:\d\d )");
        Lines texts;
        std::istringstream in(Log());
        for (std::string line; std::getline(in, line);) {
            EXPECT_TRUE(line.ends_with('\r')) << line;
            EXPECT_TRUE(std::regex_search(line, stamp)) << line;
            texts.push_back(line.substr(31, line.size() - 32));
        }
        return texts;
    }
    static bool Holds(const Lines& lines, const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    static std::string Text(ByteStringView windows1250) { return Utf8FromWindows1250(windows1250); }
    std::string InstalledFile() const { return installation_.WindowsFile(FileName(kFile)); }

    Installation installation_;
    fs::path logFile_;
};

TEST_F(Unattended, SilentlyUpdatesTheRecordedProductAndASecondRunHasNothingToDo) {
    Install(Standin(kFile, 1));
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=" + kLog}), kExitAllCurrent);
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=" + kLog}), kExitAllCurrent);

    // Both runs appended to one log, each from its first line to its exit code, in the window's language; the
    // folder and where it came from, each file's outcome, and no instruction to press a button.
    const Lines log = LogTexts();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(std::regex_match(
        log.front(), std::regex(R"(VokarEn-1\.5\.3-patch\.exe 1\.5\.3, process \d+: .*VokarEn-1\.5\.3-patch\.exe"? )"
                                R"(/S /LOG=C:\\Logi\\vokarion\.log)")))
        << log.front();
    const std::string folder = "folder " + installation_.WindowsFolder() + " (the current user's registry record)";
    const std::string updated =
        InstalledFile() + ": updated from build 1 to build " + std::to_string(TablesOf().NewestVersion(kFile));
    const std::string current =
        InstalledFile() + ": current (build " + std::to_string(TablesOf().NewestVersion(kFile)) + "), left alone";
    const std::string summary = Text(WithoutInstructions(kSummaryUpdated, Message(kPolish, kSummaryUpdated)));
    const auto at = [&](const std::string& text) { return std::find(log.begin(), log.end(), text) - log.begin(); };
    EXPECT_TRUE(at(folder) < at(updated) && at(updated) < at(summary) && at(summary) + 1 == at("exit code 0") &&
                at(current) < static_cast<long>(log.size()))
        << Log();
    EXPECT_EQ(Log().find(Text(Message(kPolish, kMessageFinishButton))), std::string::npos) << Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "exit code 0"), 2);
}

TEST_F(Unattended, TheCommandLinesFolderStandsInForAMissingRecord) {
    Install(Standin(kFile, 1), false);
    EXPECT_EQ(installation_.RunPatcher({"-silent", "/DIR=" + installation_.WindowsFolder()}), kExitAllCurrent);
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
}

TEST_F(Unattended, AnUnknownVersionEndsInOneAndTheLogNamesItsFullPathInTheLanguageAskedFor) {
    std::vector<std::uint8_t> unknown = Standin(kFile, TablesOf().NewestVersion(kFile));
    unknown[static_cast<std::size_t>(
        TablesOf().FindSignatureTable(kFile, TablesOf().NewestVersion(kFile))->back().Offset)] ^= 0xFF;
    Install(unknown);
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LANG=EN", "/LOG=" + kLog}), kExitSomeFileFailed);
    EXPECT_TRUE(Installed() == unknown);
    const Lines log = LogTexts();
    EXPECT_TRUE(Holds(log, Text(Formatted(kEnglish, kMessageUnknownVersion, InstalledFile())))) << Log();
    EXPECT_TRUE(Holds(log, InstalledFile() + ": failed: a build that this patcher does not know")) << Log();
    EXPECT_EQ(log.end()[-2], "Some errors occured during update.");
    EXPECT_EQ(log.back(), "exit code 1");
}

TEST_F(Unattended, ACommandLineItDoesNotUnderstandEndsInThreeAndChangesNothing) {
    Install(Standin(kFile, 1));
    EXPECT_EQ(installation_.RunPatcher({"/S", "/UPDATE", "/LOG=" + kLog}), kExitBadCommandLine);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
    Lines log = LogTexts();
    EXPECT_TRUE(Holds(log, "Unknown option: /UPDATE")) << Log();
    EXPECT_EQ(log.back(), "exit code 3");
    // A log that cannot be appended to (a folder) is found before anything is done.
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=C:\\Logi"}), kExitBadCommandLine);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));

    // A letter that the system's code page lacks is refused at once, with no dialog: the reason is logged.
    EXPECT_EQ(installation_.RunPatcher({"/S", "/DIR=C:\\Vokarion\xD0\xB6", "/LOG=" + kLog}), kExitBadCommandLine);
    log = LogTexts();
    EXPECT_TRUE(Holds(log, "Characters that the system's code page lacks: /DIR=C:\\Vokarion?")) << Log();
    EXPECT_EQ(log.back(), "exit code 3");
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
}

// The help under /S waits for nobody: it goes to the log and to whoever started the patcher, and ends in 0.
TEST_F(Unattended, TheHelpUnderSilenceIsWrittenNotShown) {
    EXPECT_EQ(installation_.RunPatcher({"/S", "/?", "/LOG=" + kLog}), kExitAllCurrent);
    const Lines log = LogTexts();
    EXPECT_TRUE(Holds(log, "/CHECK - no window; changes nothing, only tells whether the update is needed.")) << Log();
    EXPECT_EQ(log.back(), "exit code 0");
    EXPECT_NE(installation_.Prefix().Log().find("Usage: VokarEn-1.5.3-patch.exe [/S | /CHECK]"), std::string::npos)
        << installation_.Prefix().Log();
}

// A check changes nothing, and its exit code tells a deployment tool whether the update is needed.
TEST_F(Unattended, ACheckTellsWhetherTheUpdateIsNeededAndChangesNothing) {
    Install(Standin(kFile, 1));
    const std::vector<std::string> before = FileNames(installation_.Folder());
    EXPECT_EQ(installation_.RunPatcher({"/CHECK", "/LOG=" + kLog}), kExitUpdateNeeded);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
    EXPECT_EQ(FileNames(installation_.Folder()), before);
    EXPECT_TRUE(Holds(LogTexts(), InstalledFile() + ": out of date (build 1); this patcher updates it to build " +
                                      std::to_string(TablesOf().NewestVersion(kFile))))
        << Log();

    EXPECT_EQ(installation_.RunPatcher({"/S"}), kExitAllCurrent);
    EXPECT_EQ(installation_.RunPatcher({"/CHECK"}), kExitAllCurrent);
}

// A product file that another program holds (the product still closing, a virus scanner) is waited for, and
// updated once it is let go; the log says how long that took.
TEST_F(Unattended, AFileHeldByAnotherProgramForAMomentIsUpdated) {
    Install(Standin(kFile, 1));
    const fs::path marker = installation_.File(FileName(kFile)).string() + ".held";
    int held = -1;
    std::thread holder([&] {
        held = installation_.Prefix().Wine(Programs().Driver, {"hold-until", InstalledFile(), kLog, "folder ", "1000"},
                                           std::chrono::seconds(90));
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(marker) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const bool holding = fs::exists(marker);
    const int exitCode = holding ? installation_.RunPatcher({"/S", "/LOG=" + kLog}) : kDidNotEnd;
    holder.join();
    ASSERT_TRUE(holding) << installation_.Prefix().Log();
    EXPECT_EQ(held, 0);
    EXPECT_EQ(exitCode, kExitAllCurrent) << Log();
    EXPECT_TRUE(Installed() == Standin(kFile, TablesOf().NewestVersion(kFile)));
    const std::string log = Log();
    EXPECT_NE(
        log.find(": updated from build 1 to build " + std::to_string(TablesOf().NewestVersion(kFile)) + ", after "),
        std::string::npos)
        << log;
    EXPECT_NE(log.find(" waiting for another program to let go of it"), std::string::npos) << log;
}

// The product's record was written by its Polish installer, in code page 1250; an administrator's machine may
// run in another (an English Windows: 1252; "Use Unicode UTF-8 for worldwide language support": 65001), where
// the record's scrambled name and value read back through the A functions as other bytes.
TEST(CodePages, TheRecordOfAPolishInstallerIsFoundUnderAnyCodePage) {
    const struct {
        const char* Locale;
        const char* CodePage;
        const char* Folder;   // below drive C:, as this machine names it (UTF-8)
        ByteString Recorded;  // as the installer recorded it (Windows-1250)
    } cases[] = {
        {"en_US.UTF-8", "1252", "Vokarion", "C:\\Vokarion\\"},
        {"hi_IN.UTF-8", "65001", "Program Files (x86)/S\xC5\x82owniki Vokarion",
         "C:\\Program Files (x86)\\S\xB3owniki Vokarion\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Locale);
        Installation installation(c.Locale);
        // The locale gives the code page this case is about, or the case would prove nothing.
        ASSERT_EQ(installation.Prefix().Wine(Programs().RecordWriter, {std::string("--code-page=") + c.CodePage}), 0)
            << installation.Prefix().Log();
        const fs::path folder = installation.Prefix().DriveC() / c.Folder;
        fs::create_directories(folder);
        const std::vector<std::uint8_t>& old = Standin(kFile, 1);
        std::ofstream(folder / std::string(FileName(kFile)), std::ios::binary)
            .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
        installation.RecordAsAPolishInstaller("hkcu", kProductIndex, c.Recorded);

        EXPECT_EQ(installation.RunPatcher({"/S"}), kExitAllCurrent) << installation.Prefix().Log();
        EXPECT_TRUE(ReadBytes(folder / std::string(FileName(kFile))) ==
                    Standin(kFile, TablesOf().NewestVersion(kFile)));
    }
}

// The stub alone carries no tables: it does not know its product, touches nothing, and says why.
TEST(Stub, WithoutTablesItTouchesNothingAndSaysWhy) {
    Installation installation("C.UTF-8", fs::path(PATCHER_WINDOWS_BUILD_DIR) / "app" / "patcher-stub.exe");
    installation.Put(FileName(kFile), Standin(kFile, 1));
    installation.Record("hkcu", kProductIndex, installation.WindowsFolder());
    const fs::path log = installation.Prefix().DriveC() / "stub.log";
    EXPECT_EQ(installation.RunPatcher({"/S", "/LOG=C:\\stub.log"}), kExitPatcherFailed);
    EXPECT_TRUE(ReadBytes(installation.File(FileName(kFile))) == Standin(kFile, 1));
    std::ifstream in(log);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("the patcher cannot work: it carries no tables"), std::string::npos) << text;
    EXPECT_NE(text.find("exit code 6"), std::string::npos) << text;
}

// A log that opens but takes no line (a full disk) is no log: the patcher says so with 3 and does nothing.
TEST_F(Unattended, ALogOnAFullDiskEndsInThreeWithNothingDone) {
    Install(Standin(kFile, 1));
    const fs::path disk = installation_.Prefix().Root().parent_path() / "full-disk";
    fs::create_directories(disk);
    const fs::path wineLog = installation_.Prefix().Root().parent_path() / "mount.log";
    if (RunProgram({"mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk.string()}, {}, wineLog) != 0) {
        GTEST_SKIP() << "no small file system can be mounted here (mount needs root)";
    }
    struct Unmount {
        fs::path Disk, Log;
        ~Unmount() { RunProgram({"umount", Disk.string()}, {}, Log); }
    } unmount{disk, wineLog};
    RunProgram({"dd", "if=/dev/zero", "of=" + (disk / "filler").string(), "bs=4096"}, {}, wineLog);

    EXPECT_EQ(installation_.RunPatcher({"/S", "/LOG=" + installation_.Prefix().WindowsPath(disk / "vokarion.log")}),
              kExitBadCommandLine);
    EXPECT_TRUE(Installed() == Standin(kFile, 1));
}

// The English edition's next patcher (tests/e2e/VokarEn-1.5.4.toml), built over the release that
// `patchkit standin --next` writes: it carries its own tables, which name its update 1.5.4 and know a twelfth
// build of VokarEn.exe by its number, past the eleven of old.
class NextRelease : public Unattended {
  protected:
    static constexpr char kPatch[] = "VokarEn-1.5.4";
    NextRelease() : Unattended(PatcherExe(kPatch)) {}

    static std::vector<std::uint8_t> Twelfth() {
        return ReadBytes(fs::path(PATCHER_STANDIN_DIR).parent_path() / "next-standins" / "1" / "12" / "VokarEn.exe");
    }
};

TEST_F(NextRelease, UpdatesBuildElevenToBuildTwelveAndNamesBothByTheirNumbers) {
    ASSERT_EQ(Twelfth().size(), 2'301'952U) << "./run test writes the next release beside the stand-ins";
    Install(Standin(kFile, 11));
    EXPECT_EQ(installation_.RunPatcher({"/CHECK", "/LANG=EN", "/LOG=" + kLog}), kExitUpdateNeeded);
    EXPECT_EQ(installation_.RunPatcher({"/S", "/LANG=EN", "/LOG=" + kLog}), kExitAllCurrent);
    EXPECT_TRUE(Installed() == Twelfth());

    const Lines log = LogTexts();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(std::regex_search(log.front(), std::regex(R"(^VokarEn-1\.5\.4-patch\.exe 1\.5\.4, process \d+: )")))
        << log.front();
    EXPECT_TRUE(Holds(log, InstalledFile() + ": out of date (build 11); this patcher updates it to build 12")) << Log();
    // The window's introduction, in the log, names the update as its tables do.
    EXPECT_NE(Log().find("This program will update '" + Text(TablesOf(kPatch).UpdateTitle[1]) + "' to version 1.5.4."),
              std::string::npos)
        << Log();
    EXPECT_TRUE(Holds(log, InstalledFile() + ": updated from build 11 to build 12")) << Log();

    // Build 12 is the current one now; a check says so and writes nothing.
    EXPECT_EQ(installation_.RunPatcher({"/CHECK"}), kExitAllCurrent);
}

}  // namespace
}  // namespace patcher::e2e

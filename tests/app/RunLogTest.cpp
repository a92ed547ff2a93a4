// The log as an administrator reads it: time-stamped lines that no input can break or forge, each text in
// the code page it came in, the facts behind every outcome, and nothing that asks for a button nobody has.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/LogText.h"
#include "app/RunLog.h"
#include "lang/MessageCatalogue.h"
#include "platform/PlatformError.h"
#include "platform/SystemErrors.h"

namespace patcher {
namespace {

using Lines = std::vector<std::string>;

class RecordedLog final : public LogFile {
  public:
    Lines Written;
    int BreaksAfter = -1;  // the disk fills up after this many lines

    void Append(std::string_view bytes) override {
        if (BreaksAfter >= 0 && static_cast<int>(Written.size()) >= BreaksAfter) {
            throw PlatformError("WriteFile", 112);
        }
        // Whole lines only, each ending in CR LF.
        EXPECT_TRUE(bytes.ends_with("\r\n")) << bytes;
        for (std::size_t end = bytes.find("\r\n"); end != std::string_view::npos; end = bytes.find("\r\n")) {
            Written.emplace_back(bytes.substr(0, end));
            bytes.remove_prefix(end + 2);
        }
    }
};

// A clock a millisecond further at every reading.
class SteppingClock final : public LocalClock {
  public:
    LocalTime Now() override { return {2026, 12, 8, 9, 5, 3, millisecond_++, 60}; }

  private:
    int millisecond_ = 7;
};

class RunLogTest : public ::testing::Test {
  protected:
    RunLog& Log(LogSettings settings = {1250, true}) {
        log_.emplace(file_, clock_, settings);
        return *log_;
    }
    // The lines without their time stamps.
    Lines Texts() const {
        Lines texts;
        for (const std::string& line : file_.Written) {
            texts.push_back(line.substr(std::string("2026-12-08 09:05:03.007 +01:00 ").size()));
        }
        return texts;
    }
    // This file is compiled into Windows-1250 strings, as the catalogue is.
    static std::string Utf8(ByteStringView windows1250) {
        std::string out;
        for (const char c : windows1250) {
            const auto byte = static_cast<unsigned char>(c);
            // Enough of Windows-1250 for the catalogue's Polish words these tests read.
            switch (byte) {
                case 0xB3:
                    out += "\xC5\x82";
                    break;  // ł
                case 0xB9:
                    out += "\xC4\x85";
                    break;  // ą
                case 0xEA:
                    out += "\xC4\x99";
                    break;  // ę
                case 0xF3:
                    out += "\xC3\xB3";
                    break;  // ó
                case 0xBF:
                    out += "\xC5\xBC";
                    break;  // ż
                case 0x9C:
                    out += "\xC5\x9B";
                    break;  // ś
                case 0xF1:
                    out += "\xC5\x84";
                    break;  // ń
                case 0xE6:
                    out += "\xC4\x87";
                    break;  // ć
                default:
                    out += c;
            }
        }
        return out;
    }

    RecordedLog file_;
    SteppingClock clock_;
    std::optional<RunLog> log_;
};

TEST_F(RunLogTest, StampsEveryLineAndNamesTheProcessFirst) {
    RunLog& log = Log();
    log.Start("VokarEn-1.5.3-patch.exe", "1.5.3", 4242, "\"C:\\Pobrane\\VokarEn-1.5.3-patch.exe\" /S");
    log.End(0);
    EXPECT_EQ(file_.Written, (Lines{"2026-12-08 09:05:03.007 +01:00 VokarEn-1.5.3-patch.exe 1.5.3, process 4242: "
                                    "\"C:\\Pobrane\\VokarEn-1.5.3-patch.exe\" /S",
                                    "2026-12-08 09:05:03.008 +01:00 exit code 0"}));
    // The offset from UTC, either way of it, so that logs of several time zones sort on one share.
    EXPECT_EQ(LogTimeStamp({987, 1, 2, 3, 4, 5, 6, -210}), "0987-01-02 03:04:05.006 -03:30");
    EXPECT_EQ(LogTimeStamp({2026, 10, 25, 2, 30, 0, 0, 120}), "2026-10-25 02:30:00.000 +02:00");
}

// A line break or another control character inside any text given, from the command line to a path, is
// written as a visible escape: no argument can put a line of its own (a forged "exit code 0") into the log.
TEST_F(RunLogTest, NoTextGivenCanMakeALineOfItsOwn) {
    RunLog& log = Log();
    log.Start("p.exe", "1.5.3", 1, "p.exe \"/DIR=C:\\x\r\n2026-12-08 09:05:03.007 exit code 0\"\t\x1B\x7F");
    log.Folder({"C:\\Vok\narion\\", FolderSource::CommandLine, FolderVerdict::Used});
    // Line and paragraph separators and NEL, which some readers break lines at, in the UTF-8 command line.
    log.LastWords(
        "a\xE2\x80\xA8"
        "b\xE2\x80\xA9",
        "c\xC2\x85"
        "d",
        6);
    ASSERT_EQ(file_.Written.size(), 4u);
    EXPECT_EQ(Texts()[0],
              "p.exe 1.5.3, process 1: p.exe \"/DIR=C:\\x<CR><LF>2026-12-08 09:05:03.007 exit code 0\"<TAB><U+001B>"
              "<U+007F>");
    EXPECT_EQ(Texts()[1], "folder C:\\Vok<LF>arion\\ (/DIR=)");
    EXPECT_EQ(Texts()[2], "the patcher stopped on an unexpected error: a<U+2028>b<U+2029>c<U+0085>d");
    EXPECT_EQ(Texts()[3], "exit code 6");
}

// Paths come in the system's code page, the catalogue's texts in the language's: each is read in its own.
TEST_F(RunLogTest, ReadsPathsInTheSystemCodePageAndTextsInTheLanguages) {
    RunLog& log = Log({1251, true});
    // "C:\Программы" as the Cyrillic code page writes it.
    const ByteString cyrillic = "C:\\\xCF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xFB\\VokarEn.exe";
    log.ShowProblem({kPolish, kMessageUnknownVersion, {cyrillic}});
    EXPECT_EQ(Texts()[0],
              Utf8("Błąd - nieznana wersja pliku ") +
                  "C:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B\\VokarEn.exe.");
}

// Every line the window shows, in the order shown, and the summary of every run; the blank lines between
// paragraphs are left out, and a progress line is written once its last piece has come.
TEST_F(RunLogTest, WritesEveryShownLineAndEverySummary) {
    RunLog& log = Log();
    for (int run = 0; run < 2; ++run) {
        log.SetMainText({kEnglish, kMessageIntroduction, {"Vokarion Języka Angielskiego", "1.5.3"}});
        log.AppendMainText({kEnglish, kMessageFileLine, {"VokarEn.exe"}});
        EXPECT_EQ(file_.Written.size(), run == 0 ? 2u : 6u);
        log.AppendMainText({kEnglish, kMessageFileOk, {}});
        log.SetMainText({kEnglish, run == 0 ? kSummaryUpdated : kSummaryNothingToDo, {}});
    }
    const Lines once = {
        "This program will update 'Vokarion J\xC4\x99zyka Angielskiego' to version 1.5.3. If Vokarion "
        "is running, it must be closed before updating.",
        "Press \"Update\" button to continue.", "File VokarEn.exe is being updated ... OK"};
    Lines expected = once;
    expected.push_back("Update has finished successfully. Press \"Finish\" to exit the program.");
    expected.insert(expected.end(), once.begin(), once.end());
    expected.push_back("The installed version doesn't need updating.");
    EXPECT_EQ(Texts(), expected);
}

// Read after the fact, with no window: the facts of the introduction and the summaries, without their
// instructions to press a button.
TEST_F(RunLogTest, TheSilentLogLeavesOutTheWindowsInstructions) {
    RunLog& log = Log({1250, false});
    log.SetMainText({kPolish, kMessageIntroduction, {"Vokarion", "1.5.3"}});
    log.SetMainText({kPolish, kSummaryUpdated, {}});
    log.SetMainText({kEnglish, kSummaryFailed, {}});
    log.SetMainText({kEnglish, kSummaryNothingToDo, {}});
    EXPECT_EQ(Texts(), (Lines{Utf8("Ten program uaktualni \"Vokarion\" do wersji 1.5.3. Jeżeli Vokarion jest "
                                   "uruchomiony, należy go zamknąć przed dokonaniem aktualizacji."),
                              Utf8("Aktualizacja została zakończona pomyślnie."), "Some errors occured during update.",
                              "The installed version doesn't need updating."}));
}

// One line names the folder used and where it came from, or why there is none.
TEST_F(RunLogTest, NamesTheFolderAndWhereItCameFrom) {
    RunLog& log = Log();
    using V = FolderVerdict;
    log.Folder({"C:\\Vokarion\\", FolderSource::CurrentUserRecord, V::Used});
    log.Folder({"D:\\Vokarion\\", FolderSource::LocalMachineRecord, V::Used});
    log.Folder({"E:\\Vokarion\\", FolderSource::OpenDialog, V::Used});
    log.Folder({"", FolderSource::None, V::NoneFound});
    log.Folder({"Vokarion", FolderSource::CurrentUserRecord, V::NotFullPath});
    log.Folder({"C:\\Gone", FolderSource::CommandLine, V::Missing});
    EXPECT_EQ(Texts(), (Lines{"folder C:\\Vokarion\\ (the current user's registry record)",
                              "folder D:\\Vokarion\\ (the local machine's registry record)",
                              "folder E:\\Vokarion\\ (the program file chosen in the open-file dialog)",
                              "no folder: the registry holds no record of the product, and no /DIR= names one",
                              "no folder: Vokarion (the current user's registry record) is not a full path",
                              "no folder: C:\\Gone (/DIR=) does not exist"}));
}

// One line per file with its outcome, and for a failure the reason, with the system's number and words.
TEST_F(RunLogTest, GivesEachFileItsOutcomeAndTheReasonForAFailure) {
    RunLog& log = Log();
    const ByteString path = "C:\\Vokarion\\VokarEn.exe";
    using S = FileState;
    using std::chrono::milliseconds;
    log.File(path, {S::Current, 11, 11});
    log.File(path, {S::Updated, 7, 11, {}, milliseconds(1250)});
    log.File(path, {S::Created, 0, 1});
    log.File(path, {S::NeedsUpdate, 7, 11});
    log.File(path, {S::NeedsCreating, 0, 1});
    log.File(path, {S::NotFound, 0, 3});
    log.File(path, {S::UnknownBuild, 0, 11});
    log.File(path, {S::Unreadable, 0, 11, {FileFault::InUse, 32}, milliseconds(2000)});
    log.File(path, {S::NotRewritten, 7, 11, {FileFault::ReadOnly, 5}});
    log.File(path, {S::NotRewritten, 0, 1, {FileFault::DiskFull, 112}});
    log.File(path, {S::NotRewritten, 7, 11, {FileFault::DamagedData, 0}});
    log.File(path, {S::NotRewritten, 7, 11, {FileFault::AccessDenied, 5}, milliseconds(400)});
    log.File(path, {S::ChangedMeanwhile, 7, 11, {}, milliseconds(0), {.Exists = true, .Version = 9}});
    log.File(path, {S::ChangedMeanwhile, 7, 11, {}, milliseconds(0), {.Exists = true, .Version = 0}});
    log.File(path, {S::ChangedMeanwhile, 7, 11, {}, milliseconds(50), {.Exists = false}});
    log.File(path, {S::ChangedMeanwhile, 0, 1, {}, milliseconds(0), {.Exists = true, .Version = 1}});
    const std::string prefix = "C:\\Vokarion\\VokarEn.exe: ";
    EXPECT_EQ(
        Texts(),
        (Lines{
            prefix + "current (build 11), left alone",
            prefix + "updated from build 7 to build 11, after 1.25 s waiting for another program to let go "
                     "of it",
            prefix + "created (build 1)", prefix + "out of date (build 7); this patcher updates it to build 11",
            prefix + "absent; this patcher creates it (build 1)",
            prefix + "failed: not found, and not one that this patcher creates",
            prefix + "failed: a build that this patcher does not know",
            prefix + "failed: could not be read: another program held it for 2 s (system error 32: " +
                SystemErrorText(32) + ")",
            prefix + "failed: could not be rewritten: it is read-only (system error 5: " + SystemErrorText(5) + ")",
            prefix + "failed: could not be created: the disk is full (system error 112: " + SystemErrorText(112) + ")",
            prefix + "failed: could not be rewritten: the patcher's packed data is damaged",
            prefix + "failed: could not be rewritten: access denied (system error 5: " + SystemErrorText(5) +
                "), after 0.4 s waiting for another program to let go of it",
            prefix + "failed: another program changed it after it was recognised (build 7 then, build 9 now); left "
                     "alone",
            prefix + "failed: another program changed it after it was recognised (build 7 then, a build that this "
                     "patcher does not know now); left alone",
            prefix + "failed: another program changed it after it was recognised (build 7 then, absent now); left "
                     "alone, after 0.05 s waiting for another program to let go of it",
            prefix + "failed: another program changed it after it was recognised (absent then, build 1 now); left "
                     "alone"}));
}

TEST_F(RunLogTest, TellsWhyHelpShortcutsAreMissingWithTheShellsNumber) {
    RunLog& log = Log();
    using Kind = ShortcutProblem::Kind;
    log.Shortcut({"P:\\Hilfe.lnk", Kind::NotRemoved, 5});
    log.Shortcut({"P:\\Hilfe (Deutsch).lnk", Kind::NotMade, 0x80070005});
    log.Shortcut({"", Kind::NoProgramsFolder});
    log.Shortcut({"P:\\Gruppe", Kind::NoGroupFolder});
    log.Shortcut({"C:\\Vokarion\\VokarD.chm", Kind::HelpFileMissing});
    EXPECT_EQ(Texts(),
              (Lines{"the older help shortcut P:\\Hilfe.lnk could not be removed (system error 5: " +
                         SystemErrorText(5) + ")",
                     "the help shortcut P:\\Hilfe (Deutsch).lnk could not be made (system error 0x80070005" +
                         (SystemErrorText(0x80070005).empty() ? "" : ": " + SystemErrorText(0x80070005)) + ")",
                     "no help shortcuts: the current user's Start-menu Programs folder is not recorded",
                     "no help shortcuts: the product's Start-menu group P:\\Gruppe does not exist, and the patcher "
                     "makes none",
                     "no help shortcuts for C:\\Vokarion\\VokarD.chm: it is not there"}));
}

// A command line's refusal: the program's own texts, each line with the argument read in the system's code
// page.
TEST_F(RunLogTest, NotesTheProgramsOwnTextsWithTheirArgument) {
    RunLog& log = Log();
    log.Note("Nieznana opcja: %s\r\nUnknown option: %s\r\n\r\n/? - the options", "/UPDATE");
    EXPECT_EQ(Texts(), (Lines{"Nieznana opcja: /UPDATE", "Unknown option: /UPDATE", "/? - the options"}));
}

// A log that opens but takes no line (a full disk) is no log: its first line says so.
TEST_F(RunLogTest, AFirstLineThatCannotBeWrittenIsNoLog) {
    file_.BreaksAfter = 0;
    EXPECT_FALSE(Log().Start("p.exe", "1.5.3", 1, "p.exe"));
    file_.BreaksAfter = -1;
    EXPECT_TRUE(Log().Start("p.exe", "1.5.3", 1, "p.exe"));
}

TEST_F(RunLogTest, ALogThatFailsMidwayIsGivenUpQuietly) {
    file_.BreaksAfter = 1;
    RunLog& log = Log();
    log.Start("p.exe", "1.5.3", 1, "p.exe");
    log.SetMainText({kEnglish, kSummaryUpdated, {}});
    file_.BreaksAfter = -1;  // the disk has room again: the log stays given up, not half written
    log.End(0);
    EXPECT_EQ(file_.Written.size(), 1u);
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/ExitCodes.h"
#include "app/SilentRun.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "platform/PlatformError.h"
#include "tests/app/ScriptedSystem.h"

namespace patcher {
namespace {

using testing::ScriptedSystem;
using Lines = std::vector<std::string>;

// The log's file: every line as it was appended, with the code page it came in; may break after some lines.
class RecordedLog final : public LogFile {
  public:
    Lines Written;
    std::vector<unsigned> CodePages;
    int BreaksAfter = -1;

    void AppendLine(ByteStringView text, unsigned codePage) override {
        if (BreaksAfter >= 0 && static_cast<int>(Written.size()) >= BreaksAfter) {
            throw PlatformError("WriteFile", 112);  // the disk is full
        }
        Written.emplace_back(text);
        CodePages.push_back(codePage);
    }
};

ByteString Message(LanguageCode language, int id) {
    return ByteString(LookupMessage(language, id));
}

// The outcome that completes a progress line, without the line break that ends it.
ByteString Word(LanguageCode language, int id) {
    const ByteString word = Message(language, id);
    return word.substr(0, word.find("\r\n"));
}

class SilentRunTest : public ::testing::Test {
  protected:
    SilentRunTest() {
        SetProductIdentity(profile_);
        CompleteProfile(profile_);
    }

    int Run(LanguageCode language = kEnglish) {
        RunLog log(file_);
        log.Start("2026-12-08 10:00:00", "VokarEn-1.5.3-patch.exe", "1.5.3", R"("VokarEn-1.5.3-patch.exe" /S)");
        const int code = RunSilently(profile_, system_, language, &log);
        log.End(code);
        return code;
    }

    ProductProfile profile_;
    ScriptedSystem system_;
    RecordedLog file_;
};

// The log of a run that updated the file: how it was started, the run's lines as the window would show them
// (each progress line once, with its outcome), the summary, the exit code.
TEST_F(SilentRunTest, UpdatesAtOnceAndLogsWhatTheWindowWouldShow) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    EXPECT_EQ(Run(), kExitAllCurrent);
    EXPECT_EQ(system_.Calls, (Lines{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe",
                                    "rewrite 1 C:\\Vokarion\\VokarEn.exe", "shortcuts C:\\Vokarion\\"}));

    const ByteString introduction = FormatText(LookupMessage(kEnglish, 271), {UpdateTitle(1, 2), "1.5.3"});
    Lines expected = {R"(2026-12-08 10:00:00 VokarEn-1.5.3-patch.exe 1.5.3: "VokarEn-1.5.3-patch.exe" /S)"};
    for (std::size_t start = 0, end; start < introduction.size(); start = end + 2) {
        end = std::min(introduction.find("\r\n", start), introduction.size());
        if (end > start) {
            expected.push_back(introduction.substr(start, end - start));
        }
    }
    expected.push_back(FormatText(LookupMessage(kEnglish, 276), {"VokarEn.exe"}) + Word(kEnglish, 267));
    expected.push_back(Message(kEnglish, 272));
    expected.push_back("exit code 0");
    EXPECT_EQ(file_.Written, expected);
    EXPECT_EQ(file_.CodePages.front(), kCodePageUtf8);
    EXPECT_EQ(file_.CodePages[1], 1250u);
    EXPECT_EQ(file_.CodePages.back(), kCodePageUtf8);
}

// What would be a dialog is a line of the log, with the file's full path; each exit code tells the outcome.
TEST_F(SilentRunTest, EndsWithTheExitCodeOfWhatHappened) {
    system_.Install({{"VokarEn.exe", CheckResult::NotRecognised}});
    EXPECT_EQ(Run(kPolish), kExitSomeFileFailed);
    // The dialog comes while the file's line waits for its outcome.
    EXPECT_EQ(file_.Written.end()[-4], FormatText(LookupMessage(kPolish, 279), {"C:\\Vokarion\\VokarEn.exe"}));
    EXPECT_EQ(file_.Written.end()[-3], FormatText(LookupMessage(kPolish, 276), {"VokarEn.exe"}) + Word(kPolish, 268));
    EXPECT_EQ(file_.Written.end()[-2], Message(kPolish, 273));
    EXPECT_EQ(file_.Written.back(), "exit code 1");

    // Nothing recorded, and kind 4, which would ask for the program file, asks nobody.
    for (const std::int32_t kind : {1, 4}) {
        profile_.ProductKind = kind;
        ScriptedSystem empty;
        RecordedLog file;
        RunLog log(file);
        EXPECT_EQ(RunSilently(profile_, empty, kEnglish, &log), kExitNoInstallDir) << kind;
        EXPECT_EQ(empty.Calls, (Lines{"lookup", "shortcuts "}));
        EXPECT_EQ(file.Written.back(), Message(kEnglish, 277));
    }
}

TEST_F(SilentRunTest, ALogThatFailsMidwayLeavesTheUpdateGoingOn) {
    system_.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    file_.BreaksAfter = 2;
    EXPECT_EQ(Run(), kExitAllCurrent);
    EXPECT_EQ(file_.Written.size(), 2u);
    EXPECT_EQ(system_.Calls.size(), 4u);
}

}  // namespace
}  // namespace patcher

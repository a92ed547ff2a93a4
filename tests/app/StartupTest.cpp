// The program from its command line to its exit code, over a platform of fakes: which steps run, in which
// order, and what each one's result decides.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "app/Startup.h"
#include "platform/PlatformError.h"
#include "tables/PatchTablesFormat.h"
#include "tests/app/FakeScreens.h"
#include "tests/app/ScriptedSystem.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using testing::DialogScreen;
using testing::ScreenView;
using testing::ScriptedSystem;
using Lines = std::vector<std::string>;

class MemoryLog final : public LogFile {
  public:
    MemoryLog(Lines& lines, bool takesLines) : lines_(lines), takesLines_(takesLines) {}
    // The lines without their time stamps and line breaks.
    void Append(std::string_view bytes) override {
        if (!takesLines_) {
            throw PlatformError("WriteFile", 112);
        }
        lines_.emplace_back(bytes.substr(31, bytes.size() - 33));
    }

  private:
    Lines& lines_;
    bool takesLines_;
};

class FixedClock final : public LocalClock {
  public:
    LocalTime Now() override { return {2026, 12, 9, 10, 0, 0, 0}; }
};

// Records what start-up asks of the platform, with the profile as it stands at each step.
class FakePlatform final : public StartupPlatform {
  public:
    explicit FakePlatform(const ProductProfile& profile) : profile_(profile) {}

    Lines Steps;
    Lines LogLines;
    Lines Shown;  // message dialogs without a window
    Lines Told;   // texts for the caller
    bool TablesDamaged = false;
    bool LogOpens = true;
    bool LogTakesLines = true;
    bool FailureLogSet = false;
    ScriptedSystem System;
    std::function<void(TfrmMainPatcher&, ScreenView&)> User;  // what the user does while the window is open

    // The test program's tables are installed once for all its cases.
    void InstallPatchTables() override {
        if (TablesDamaged) {
            throw PatchTablesError("the tables' CRC-32 is not that of their bytes");
        }
    }
    std::unique_ptr<LogFile> OpenLogFile(ByteStringView path) override {
        Steps.push_back("log " + std::string(path));
        if (!LogOpens) {
            throw PlatformError("CreateFileA", 5);
        }
        return std::make_unique<MemoryLog>(LogLines, LogTakesLines);
    }
    LocalClock& Clock() override { return clock_; }
    unsigned PathCodePage() override { return 1250; }
    void LogFailuresTo(RunLog* log) override { FailureLogSet = log != nullptr; }
    int PatcherFailed(std::string_view what) override {
        Steps.push_back("failed " + std::string(what) + (FailureLogSet ? " (logged)" : ""));
        return kExitPatcherFailed;
    }
    void ShowMessage(ByteStringView text) override { Shown.emplace_back(text); }
    void TellCaller(ByteStringView text) override { Told.emplace_back(text); }
    LanguageCode DetectLanguage() override { return kEnglish; }
    UpdateRunSystem& InstalledProduct(const ProductProfile&, std::chrono::milliseconds longestWait) override {
        Note("system wait=" + std::to_string(longestWait.count()));
        return System;
    }
    std::unique_ptr<MainWindowView> CreateMainWindowView(TfrmMainPatcher& form) override {
        Note("window");
        form_ = &form;
        auto window = std::make_unique<ScreenView>();
        screen_ = window.get();
        return window;
    }
    std::unique_ptr<MessageDialogView> CreateMessageDialogView() override {
        Note("dialog");
        return std::make_unique<DialogScreen>();
    }
    void RunMessageLoop(MainWindowView&) override {
        Note(screen_->Visible ? "loop, window shown" : "loop");
        if (User) {
            User(*form_, *screen_);
        }
    }

  private:
    void Note(const std::string& step) {
        Steps.push_back(step + " kind=" + std::to_string(profile_.ProductKind) +
                        " update=" + std::to_string(profile_.UpdateIndex));
    }

    const ProductProfile& profile_;
    FixedClock clock_;
    ScreenView* screen_ = nullptr;
    TfrmMainPatcher* form_ = nullptr;
};

class StartupTest : public ::testing::Test {
  protected:
    int Start(const Lines& arguments) {
        invocation_.Arguments = {{"VokarEn-1.5.3-patch.exe", true}};
        for (const std::string& argument : arguments) {
            invocation_.Arguments.push_back({argument, true});
        }
        invocation_.CommandLineUtf8 = "patch.exe";
        invocation_.ProgramNameUtf8 = "patch.exe";
        invocation_.ProgramName = "patch.exe";
        return RunProgram(profile_, invocation_, platform_);
    }

    ProductProfile profile_;
    ProgramInvocation invocation_;
    FakePlatform platform_{profile_};
};

// The command line is read by the product's identity (/LANG=EN needs its language); the window and then the
// dialog are made before the rest of the profile, which the window reads when the loop shows it.
TEST_F(StartupTest, TheWindowIsMadeAroundTheRestOfTheProfile) {
    EXPECT_EQ(Start({"/LANG=EN", "/WAIT=7"}), kExitClosedBeforeRun);
    EXPECT_EQ(platform_.Steps, (Lines{"system wait=7000 kind=1 update=0", "window kind=1 update=0",
                                      "dialog kind=1 update=0", "loop, window shown kind=1 update=1"}));
    EXPECT_EQ(profile_.TitleColumn, 2);  // the window applied the language asked for
}

// The window's exit code is that of its last run, which takes /DIR= instead of the registry's record.
TEST_F(StartupTest, TheWindowsRunsTakeTheFolderOfTheCommandLine) {
    platform_.System.Directories.insert("D:\\Vokarion");
    platform_.System.Files["D:\\Vokarion\\VokarEn.exe"] = CheckResult::Current;
    platform_.User = [](TfrmMainPatcher& form, ScreenView&) { form.btnUpdateClick(); };
    EXPECT_EQ(Start({"/DIR=D:\\Vokarion", "/LOG=C:\\l.log"}), kExitAllCurrent);
    EXPECT_EQ(platform_.System.Calls, (Lines{"recognise 1 D:\\Vokarion\\VokarEn.exe", "shortcuts D:\\Vokarion\\"}));
    // The log heard the window's run, and ends with the exit code.
    EXPECT_NE(std::find(platform_.LogLines.begin(), platform_.LogLines.end(), "folder D:\\Vokarion\\ (/DIR=)"),
              platform_.LogLines.end());
    EXPECT_EQ(platform_.LogLines.back(), "exit code 0");
}

// Without a window, start-up applies the display language: the one asked for, else the user's where the
// product speaks it; /CHECK writes nothing, and both end with their exit code in the log.
TEST_F(StartupTest, WithoutAWindowTheLanguageIsAppliedAndTheModeRuns) {
    platform_.System.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    EXPECT_EQ(Start({"/CHECK", "/LOG=C:\\l.log"}), kExitUpdateNeeded);
    EXPECT_EQ(profile_.TitleColumn, 2);
    EXPECT_EQ(platform_.System.Calls, (Lines{"lookup", "recognise 1 C:\\Vokarion\\VokarEn.exe"}));
    EXPECT_EQ(platform_.LogLines.back(), "exit code 5");

    ProductProfile polish;
    FakePlatform platform(polish);
    platform.System.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    invocation_.Arguments = {{"p.exe", true}, {"/S", true}, {"/LANG=PL", true}};
    EXPECT_EQ(RunProgram(polish, invocation_, platform), kExitAllCurrent);
    EXPECT_EQ(polish.TitleColumn, 1);
    EXPECT_EQ(platform.System.Calls.back(), "shortcuts C:\\Vokarion\\");
    EXPECT_TRUE(platform.Shown.empty());
}

// A refusal says why once: in the log it names, and on screen where a person is there; an unattended one shows
// nothing. A log that cannot be opened is a refusal of its own.
TEST_F(StartupTest, ARefusedCommandLineIsToldAndNothingIsDone) {
    EXPECT_EQ(Start({"/UPDATE", "/LOG=C:\\l.log"}), kExitBadCommandLine);
    ASSERT_EQ(platform_.Shown.size(), 1u);
    EXPECT_TRUE(platform_.Shown[0].starts_with("Nieznana opcja: /UPDATE\r\n")) << platform_.Shown[0];
    EXPECT_EQ(platform_.LogLines[1], "Nieznana opcja: /UPDATE");
    EXPECT_EQ(platform_.LogLines.back(), "exit code 3");
    EXPECT_EQ(platform_.Steps, (Lines{"log C:\\l.log"}));

    ProductProfile profile;
    FakePlatform unattended(profile);
    unattended.LogOpens = false;
    invocation_.Arguments = {{"p.exe", true}, {"/S", true}, {"/LOG=C:\\Logi", true}};
    EXPECT_EQ(RunProgram(profile, invocation_, unattended), kExitBadCommandLine);
    EXPECT_TRUE(unattended.Shown.empty());
    EXPECT_EQ(unattended.Steps, (Lines{"log C:\\Logi"}));

    // One that opens but takes no line (a full disk) is refused the same way, before anything is done.
    ProductProfile full;
    FakePlatform fullDisk(full);
    fullDisk.LogTakesLines = false;
    invocation_.Arguments = {{"p.exe", true}, {"/S", true}, {"/LOG=Z:\\full\\l.log", true}};
    EXPECT_EQ(RunProgram(full, invocation_, fullDisk), kExitBadCommandLine);
    EXPECT_EQ(fullDisk.Steps, (Lines{"log Z:\\full\\l.log"}));
}

// The help goes to whoever started an unattended program, and to a dialog before the window would.
TEST_F(StartupTest, TheHelpIsShownWhereSomeoneReadsIt) {
    EXPECT_EQ(Start({"/S", "/?"}), kExitAllCurrent);
    ASSERT_EQ(platform_.Told.size(), 1u);
    EXPECT_TRUE(platform_.Told[0].starts_with("U\xBFycie: patch.exe [/S | /CHECK]")) << platform_.Told[0];
    EXPECT_TRUE(platform_.Shown.empty());
    EXPECT_TRUE(platform_.Steps.empty());

    ProductProfile profile;
    FakePlatform window(profile);
    invocation_.Arguments = {{"p.exe", true}, {"/HELP", true}};
    EXPECT_EQ(RunProgram(profile, invocation_, window), kExitAllCurrent);
    EXPECT_EQ(window.Shown.size(), 1u);
    EXPECT_TRUE(window.Told.empty());
}

// A program whose tables cannot be trusted does not know its product: it touches nothing, says so, and ends in 6.
TEST_F(StartupTest, WithoutTrustworthyTablesNothingIsDone) {
    platform_.TablesDamaged = true;
    EXPECT_EQ(Start({"/LANG=EN"}), kExitPatcherFailed);
    ASSERT_EQ(platform_.Shown.size(), 1u);
    EXPECT_NE(platform_.Shown[0].find("This patcher is damaged"), std::string::npos);
    EXPECT_TRUE(platform_.Steps.empty());

    ProductProfile profile;
    FakePlatform unattended(profile);
    unattended.TablesDamaged = true;
    invocation_.Arguments = {{"p.exe", true}, {"/S", true}, {"/LANG=EN", true}, {"/LOG=C:\\l.log", true}};
    EXPECT_EQ(RunProgram(profile, invocation_, unattended), kExitPatcherFailed);
    EXPECT_TRUE(unattended.Shown.empty());
    EXPECT_EQ(unattended.Steps, (Lines{"log C:\\l.log"}));
    ASSERT_EQ(unattended.LogLines.size(), 3u);
    EXPECT_EQ(unattended.LogLines[1],
              "the patcher cannot work: its tables are damaged (the tables' CRC-32 is not that of their bytes); "
              "nothing was done");
    EXPECT_EQ(unattended.LogLines[2], "exit code 6");
}

// Whatever escapes a step ends the program as the patcher's failure, told while the log is still there.
TEST_F(StartupTest, AFailureThatEscapesAStepIsThePatchersOwn) {
    platform_.System.Install({{"VokarEn.exe", CheckResult::OutOfDate}});
    platform_.User = [](TfrmMainPatcher&, ScreenView&) { throw std::runtime_error("no window class"); };
    EXPECT_EQ(Start({"/LOG=C:\\l.log"}), kExitPatcherFailed);
    EXPECT_EQ(platform_.Steps.back(), "failed no window class (logged)");
    EXPECT_FALSE(platform_.FailureLogSet);
}

}  // namespace
}  // namespace patcher

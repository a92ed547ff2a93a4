#include "app/Startup.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/CommandLineTexts.h"
#include "app/ExitCodes.h"
#include "app/ProductCheck.h"
#include "app/SilentRun.h"
#include "app/WindowLanguages.h"
#include "platform/PlatformError.h"
#include "tables/PatchTablesFormat.h"

namespace patcher {
namespace {

// What a program without its tables tells a person, in Polish and in English (Windows-1250).
constexpr ByteStringView kDamagedPatcherText =
    "Ten program uaktualniaj\xB9"
    "cy jest uszkodzony: brak w nim jego tabel albo s\xB9 uszkodzone. Niczego nie zmieniono.\r\n"
    "This patcher is damaged: its tables are missing or damaged. Nothing was changed.";

// The version that the installed tables name; "?" before any are.
ByteStringView TablesUpdateVersion() {
    try {
        return BuildUpdateVersion();
    } catch (const std::logic_error&) {
        return "?";
    }
}

// Tells the platform which log a failure of the patcher goes to, for as long as the log is there.
class FailureLogKept {
  public:
    FailureLogKept(StartupPlatform& platform, RunLog* log) : platform_(platform) { platform_.LogFailuresTo(log); }
    FailureLogKept(const FailureLogKept&) = delete;
    FailureLogKept& operator=(const FailureLogKept&) = delete;
    ~FailureLogKept() { platform_.LogFailuresTo(nullptr); }

  private:
    StartupPlatform& platform_;
};

class Program {
  public:
    Program(ProductProfile& profile, const ProgramInvocation& invocation, StartupPlatform& platform)
        : profile_(profile),
          invocation_(invocation),
          platform_(platform),
          unattended_(AsksForNoWindow(invocation.Arguments)) {}

    int Run() {
        if (const std::optional<std::string> damaged = InstallTables()) {
            return RefuseWithoutTables(*damaged);
        }
        SetProductIdentity(profile_);
        std::optional<CommandLineError> refusal = ReadOptions();
        const CommandLineOptions& named = refusal ? refusal->Understood() : options_;
        // A refused command line that names a log that opens still says why in it.
        if (named.LogFile && !OpenLog(*named.LogFile) && !refusal) {
            refusal = CommandLineError(CommandLineError::Reason::LogNotWritable, "/LOG=" + *named.LogFile);
        }
        const FailureLogKept failures(platform_, log_ ? &*log_ : nullptr);
        try {
            const int exitCode = refusal ? Refuse(*refusal) : options_.Help ? ShowHelp() : RunMode();
            if (log_) {
                log_->End(exitCode);
            }
            return exitCode;
        } catch (const std::exception& error) {
            return platform_.PatcherFailed(error.what());
        } catch (...) {
            return platform_.PatcherFailed("an exception of no known kind");
        }
    }

  private:
    // Nothing when the tables are installed, else why they cannot be.
    std::optional<std::string> InstallTables() {
        try {
            platform_.InstallPatchTables();
            return std::nullopt;
        } catch (const PatchTablesError& error) {
            return std::string("its tables are damaged (") + error.what() + ")";
        } catch (const PlatformError& error) {
            return std::string("it carries no tables (") + error.what() + ")";
        }
    }

    // Without its tables the program does not know its product: it changes nothing, and says so where it can.
    int RefuseWithoutTables(const std::string& why) {
        if (!unattended_) {
            platform_.ShowMessage(kDamagedPatcherText);
            return kExitPatcherFailed;
        }
        // Only the log of the command line is looked for: no product's options can be understood.
        CommandLineOptions named;
        try {
            named = ParseCommandLine(invocation_.Arguments, profile_);
        } catch (const CommandLineError& error) {
            named = error.Understood();
        }
        if (named.LogFile && OpenLog(*named.LogFile)) {
            log_->Note(ByteString("the patcher cannot work: " + why + "; nothing was done"));
            log_->End(kExitPatcherFailed);
        }
        return kExitPatcherFailed;
    }

    // The options, or why the command line was not understood.
    std::optional<CommandLineError> ReadOptions() {
        try {
            options_ = ParseCommandLine(invocation_.Arguments, profile_);
            return std::nullopt;
        } catch (const CommandLineError& error) {
            return error;
        }
    }

    // Whether the log is there: opened, and its first line written (a full disk opens a file but takes no
    // line).
    bool OpenLog(ByteStringView path) {
        try {
            logFile_ = platform_.OpenLogFile(path);
        } catch (const PlatformError&) {
            return false;
        }
        log_.emplace(*logFile_, platform_.Clock(), LogSettings{platform_.PathCodePage(), !unattended_});
        if (!log_->Start(invocation_.ProgramNameUtf8, TablesUpdateVersion(), invocation_.ProcessId,
                         invocation_.CommandLineUtf8)) {
            log_.reset();
            logFile_.reset();
            return false;
        }
        return true;
    }

    // Nothing is done. Why goes to the log, if one is open, and to the screen unless nobody is there.
    int Refuse(const CommandLineError& error) {
        const RefusalText text = RefusalTextOf(error);
        if (log_) {
            log_->Note(text.Pattern, text.Argument);
        }
        if (!unattended_) {
            platform_.ShowMessage(text.Whole());
        }
        return kExitBadCommandLine;
    }

    int ShowHelp() {
        const ByteString help = CommandLineHelp(profile_, invocation_.ProgramName);
        if (log_) {
            log_->Note(help);
        }
        if (unattended_) {
            platform_.TellCaller(help);
        } else {
            platform_.ShowMessage(help);
        }
        return kExitAllCurrent;
    }

    int RunMode() {
        const ProgramMode mode = ModeOf(options_);
        return mode == ProgramMode::Window ? RunWindow() : RunWithoutWindow(mode);
    }

    // The window, made in the order that its profile needs: the form and its window, then the message
    // dialog, then the rest of the profile, which the window reads when the message loop shows it.
    int RunWindow() {
        UpdateRunSystem& system = platform_.InstalledProduct(profile_, LongestWait());
        // Destroyed in reverse: the dialog, then the window, then the form that both serve.
        TfrmMainPatcher form(
            profile_, system, [this] { return platform_.DetectLanguage(); }, RunOptionsOf());
        if (options_.Language) {
            form.RequestLanguage(*options_.Language);
        }
        const std::unique_ptr<MainWindowView> window = platform_.CreateMainWindowView(form);
        form.AttachView(*window);
        if (log_) {
            form.AttachLog(*log_);
        }
        TfrmPytanie dialog(platform_.CreateMessageDialogView());
        form.AttachDialog(dialog);
        CompleteProfile(profile_);
        form.Show();
        platform_.RunMessageLoop(*window);
        return form.ExitCode();
    }

    int RunWithoutWindow(ProgramMode mode) {
        CompleteProfile(profile_);
        // The language asked for, else the user's where the product speaks it, else Polish; without a window,
        // it is applied here: the column of the update's title.
        const LanguageCode language =
            options_.Language ? *options_.Language : StartingDisplayLanguage(profile_, platform_.DetectLanguage());
        profile_.TitleColumn = TitleColumnOf(language);
        WindowlessView unwatched;
        RunView& view = log_ ? static_cast<RunView&>(*log_) : unwatched;
        UpdateRunSystem& system = platform_.InstalledProduct(profile_, LongestWait());
        return mode == ProgramMode::Check ? CheckProduct(profile_, system, RunOptionsOf(), view)
                                          : RunSilently(profile_, system, RunOptionsOf(), language, view);
    }

    RunOptions RunOptionsOf() const { return {options_.InstallDir}; }

    std::chrono::milliseconds LongestWait() const {
        return options_.WaitSeconds ? std::chrono::milliseconds(std::chrono::seconds(*options_.WaitSeconds))
                                    : std::chrono::milliseconds(kDefaultInUseWait);
    }

    ProductProfile& profile_;
    const ProgramInvocation& invocation_;
    StartupPlatform& platform_;
    const bool unattended_;  // nobody is there to answer a window or a dialog
    CommandLineOptions options_;
    std::unique_ptr<LogFile> logFile_;
    std::optional<RunLog> log_;
};

}  // namespace

ProgramMode ModeOf(const CommandLineOptions& options) noexcept {
    return options.Check ? ProgramMode::Check : options.Silent ? ProgramMode::Silent : ProgramMode::Window;
}

int RunProgram(ProductProfile& profile, const ProgramInvocation& invocation, StartupPlatform& platform) {
    return Program(profile, invocation, platform).Run();
}

}  // namespace patcher

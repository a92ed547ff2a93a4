#pragma once

#include <memory>
#include <optional>

#include "app/CommandLine.h"
#include "app/ProductSystem.h"
#include "app/RunLog.h"
#include "app/Startup.h"
#include "app/untMainPatcher.h"
#include "app/win32/ProgramCommandLine.h"
#include "engine/UDer.h"
#include "lang/untPytanie.h"
#include "platform/LogFile.h"

namespace patcher {

// The program's start-up steps on Windows, for its three ways of running: the window, the silent run (/S)
// and the check (/CHECK). Owns what lives as long as the program: the log, the product's system, the one
// decoder, and the windows.
class Win32Program final : public StartupSteps {
  public:
    // `unattended`: the command line asks for no window (AsksForNoWindow), so nothing may wait for a person.
    Win32Program(ProductProfile& profile, ProgramCommandLine commandLine, bool unattended);
    Win32Program(const Win32Program&) = delete;
    Win32Program& operator=(const Win32Program&) = delete;
    ~Win32Program() override;

    std::optional<int> ReadCommandLine(const ProductProfile& profile) override;
    void CreateMainWindow() override;
    void CreateMessageDialog() override;
    int RunMessageLoop() override;

    // The exit code, last in the log.
    void End(int exitCode);

  private:
    int Refuse(const CommandLineError& error);
    void OpenLog(const ByteString& path);
    void ShowHelp();
    // The message dialog alone, for what the program says before or instead of its window.
    void ShowAlone(ByteStringView text) const;
    LanguageCode Language() const;
    RunReport& Report() { return log_ ? static_cast<RunReport&>(*log_) : silence_; }

    ProductProfile& profile_;
    ProgramCommandLine commandLine_;
    bool unattended_;
    CommandLineOptions options_;
    std::unique_ptr<LogFile> logFile_;
    std::optional<RunLog> log_;
    RunReport silence_;
    // The program's one decoder, for its whole life (its tables are too large for the stack).
    std::unique_ptr<DecoderState> decoder_;
    std::optional<ProductSystem> system_;
    // Destroyed in reverse: the dialog, then the window, then the form that both serve.
    std::unique_ptr<TfrmMainPatcher> form_;
    std::unique_ptr<MainWindowView> view_;
    std::unique_ptr<TfrmPytanie> dialog_;
};

}  // namespace patcher

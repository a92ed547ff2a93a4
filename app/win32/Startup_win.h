#pragma once

#include <memory>
#include <optional>

#include "app/ProductSystem.h"
#include "app/Startup.h"
#include "engine/UDer.h"

namespace patcher {

// Start-up's platform on Windows: the log file, the message dialog alone, the caller's console, the product's
// system over the Windows file system, registry, shell and the program's resources, the windows and their
// message loop. Owns what lives as long as the program: the product's system and its one decoder.
class Win32StartupPlatform final : public StartupPlatform {
  public:
    void InstallPatchTables() override;
    std::unique_ptr<LogFile> OpenLogFile(ByteStringView path) override;
    LocalClock& Clock() override;
    unsigned PathCodePage() override;
    void LogFailuresTo(RunLog* log) override;
    int PatcherFailed(std::string_view what) override;
    void ShowMessage(ByteStringView text) override;
    void TellCaller(ByteStringView text) override;
    LanguageCode DetectLanguage() override;
    UpdateRunSystem& InstalledProduct(const ProductProfile& profile, std::chrono::milliseconds longestWait) override;
    std::unique_ptr<MainWindowView> CreateMainWindowView(TfrmMainPatcher& form) override;
    std::unique_ptr<MessageDialogView> CreateMessageDialogView() override;
    void RunMessageLoop(MainWindowView& window) override;

  private:
    // The program's one decoder, for its whole life (its tables are too large for the stack).
    std::unique_ptr<DecoderState> decoder_;
    std::optional<ProductSystem> system_;
};

}  // namespace patcher

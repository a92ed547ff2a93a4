#include "app/SilentRun.h"

#include <thread>
#include <utility>

#include "app/ExitCodes.h"

namespace patcher {
namespace {

// The window the run would have: its main text and dialogs go to the log; there is nobody to ask.
class SilentRunWindow final : public UpdateRunWindow {
  public:
    SilentRunWindow(LanguageCode language, RunLog* log) : log_(log) { state_.DisplayLanguage = language; }

    RunState& State() override { return state_; }
    ByteString MainText() const override { return text_; }
    void SetMainText(ByteString text) override {
        text_ = std::move(text);
        if (log_ != nullptr) {
            log_->MainText(text_, state_.DisplayLanguage);
        }
    }
    void EnablePushButtons(bool) override {}
    void FocusCloseButton() override {}
    void ProcessPendingMessages() override {}
    std::optional<ByteString> AskForProgramFile() override { return std::nullopt; }
    void ShowError(ByteStringView text) override {
        if (log_ != nullptr) {
            log_->Dialog(text, state_.DisplayLanguage);
        }
    }
    void Pause(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }

  private:
    RunState state_;
    ByteString text_;
    RunLog* log_;
};

}  // namespace

int RunSilently(ProductProfile& profile, UpdateRunSystem& system, LanguageCode language, RunLog* log) {
    // The texts that show the update's title take it in the column of the display language, as the window's.
    profile.TitleColumn = language == kPolish ? 1 : 2;
    SilentRunWindow window(language, log);
    RunUpdate(profile, window, system);
    return ExitCodeOf(window.State());
}

}  // namespace patcher

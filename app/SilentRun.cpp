#include "app/SilentRun.h"

#include <utility>

#include "app/ExitCodes.h"
#include "app/SleepingWait.h"

namespace patcher {
namespace {

// The window the run would have: nobody looks at it, and there is nobody to ask.
class SilentRunWindow final : public UpdateRunWindow {
  public:
    explicit SilentRunWindow(LanguageCode language) { state_.DisplayLanguage = language; }

    RunState& State() override { return state_; }
    ByteString MainText() const override { return text_; }
    void SetMainText(ByteString text) override { text_ = std::move(text); }
    void EnablePushButtons(bool) override {}
    void FocusCloseButton() override {}
    void ProcessPendingMessages() override {}
    std::optional<ByteString> AskForProgramFile() override { return std::nullopt; }
    void ShowError(ByteStringView) override {}
    void Pause(std::chrono::milliseconds pause) override { sleeper_.Pause(pause); }

  private:
    RunState state_;
    ByteString text_;
    SleepingWait sleeper_;
};

}  // namespace

int RunSilently(ProductProfile& profile, UpdateRunSystem& system, LanguageCode language, RunReport& report) {
    // The texts that show the update's title take it in the column of the display language, as the window's.
    profile.TitleColumn = language == kPolish ? 1 : 2;
    SilentRunWindow window(language);
    RunUpdate(profile, window, system, report);
    return ExitCodeOf(window.State());
}

}  // namespace patcher

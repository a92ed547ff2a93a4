#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <optional>

#include "app/MainWindowDesign.h"
#include "app/RunOptions.h"
#include "app/RunState.h"
#include "app/RunView.h"
#include "app/UpdateRunSystem.h"
#include "common/LanguageCode.h"
#include "lang/untPytanie.h"
#include "platform/Font.h"
#include "platform/NativeWindow.h"
#include "profile/ProductProfile.h"

namespace patcher {

// What the main window shows of one component. The form keeps it; the view puts it on screen.
struct ControlState {
    ByteString Caption;
    FontDescription Font{"Arial", 11, 1};
    int Left = 0;  // at 96 DPI, relative to the parent; only the flag buttons move
    bool Visible = true;
    bool Enabled = true;
    bool Down = false;  // flag buttons: pressed
};

// The settings of the open-file dialog dlgOtworz.
struct OpenDialogSettings {
    ByteString Title;   // empty: the system's own title
    ByteString Filter;  // "description|pattern" pairs joined by "|"
    bool Resizable = true;
};

// The window system's side of the main window.
class MainWindowView {
  public:
    virtual ~MainWindowView() = default;

    // Puts the component's state on screen: caption (Windows-1250, as every text: kTextCodePage),
    // font, place, visibility, enabled state and pressed state.
    virtual void Refresh(MainControl control, const ControlState& state) = 0;
    // Gives the control the keyboard focus; while the window is inactive, the focus it gets back on activation.
    virtual void Focus(MainControl control) = 0;
    // The control that has the keyboard focus (or gets it back on activation); nothing when none does.
    virtual std::optional<MainControl> FocusedControl() const = 0;
    // Makes the window visible, centred on the screen.
    virtual void ShowCentred() = 0;
    // Lets the window repaint and handle input; returns when nothing is pending.
    virtual void ProcessPendingMessages() = 0;
    virtual std::optional<ByteString> ShowOpenDialog(const OpenDialogSettings& settings) = 0;
    // The window over which the message dialog is centred.
    virtual NativeWindow Handle() const = 0;
    // Destroys the window, which ends the program's message loop.
    virtual void Close() = 0;
    // While a run is in progress the window refuses to be closed, also by the end of the session.
    virtual void SetRunInProgress(bool inProgress) = 0;
};

// The patcher's main window: the update's title and version, an explanation, the language flags and the two
// push buttons. It keeps every component's state, which its view shows, and runs the update run when
// btnUpdate is pressed; it is what shows that run. Its fields RunDone, RunSucceeded and DisplayLanguage are
// those of its RunState.
class TfrmMainPatcher final : public RunView {
  public:
    using LanguageDetector = std::function<LanguageCode()>;

    // Creating the form runs FormCreate. The view comes with AttachView, the message dialog with
    // AttachDialog; both before the window is shown. Its runs take `options` (the command line's).
    TfrmMainPatcher(ProductProfile& profile,
                    UpdateRunSystem& system,
                    LanguageDetector detectLanguage,
                    RunOptions options = {});

    void AttachView(MainWindowView& view);
    void AttachDialog(TfrmPytanie& dialog);
    // The log of /LOG=, which hears each run as well.
    void AttachLog(RunView& log);
    // The language that the command line asks for (one the window offers): the window starts in it, with its
    // flag pressed, whatever the user's locale.
    void RequestLanguage(LanguageCode language);

    // Runs FormShow and makes the window visible.
    void Show();

    // Event handlers.
    void FormCreate();
    void FormShow();
    // True when the window may close now: always, except while a run is in progress.
    bool FormCloseQuery() const;
    // The shared handler of the four flag buttons, after the group has taken the press.
    void btnPolskiClick();
    void btnUpdateClick();
    void btnZamknijClick();

    // A request to close the window (btnZamknij, Alt+F4): closes it now where FormCloseQuery allows that. A
    // request while a run is finishing (its files done, RunDone set) closes it once the run has returned;
    // one while the run is still at its files is refused.
    void RequestClose();

    // A handler of the window that failed (what the exception said): the patcher has failed, which the log
    // is told and the exit code says, whenever the window closes.
    void HandlerFailed(std::string_view what) noexcept;

    // A press of a flag button: a raised button goes down and raises the others; the pressed one goes up,
    // so that none is pressed. Then btnPolskiClick.
    void FlagButtonPressed(MainControl flagButton);

    // Applies a display language to every text and font of the window and to the message dialog.
    void SetDisplayLanguage(LanguageCode language);

    const ControlState& Control(MainControl control) const;
    const RunState& State() const { return state_; }
    // The program's exit code once the window has closed: that of the last run, or 6 where a handler failed.
    int ExitCode() const noexcept;

    OpenDialogSettings dlgOtworz;

    // RunView: what the window shows of a run. The facts it shows through the texts alone.
    void SetMainText(const ShownText& text) override;
    void AppendMainText(const ShownText& text) override;
    void ShowProblem(const ShownText& text) override;
    std::optional<ByteString> AskForProgramFile() override;
    void EnablePushButtons(bool enabled) override;
    void FocusCloseButton() override;
    void ProcessPendingMessages() override;
    void Folder(const ProductFolder&) override {}
    void File(ByteStringView, const FileReport&) override {}
    void Shortcut(const ShortcutProblem&) override {}
    void Unexpected(std::string_view) override {}
    void Pause(std::chrono::milliseconds pause) override;

  private:
    ControlState& Mutable(MainControl control);
    void Refresh(MainControl control);
    void SetCaption(MainControl control, ByteString caption);
    void ShowFlag(MainControl flagButton, bool shown);
    ByteStringView CurrentTitle() const;

    ProductProfile& profile_;
    UpdateRunSystem& system_;
    LanguageDetector detectLanguage_;
    RunOptions options_;
    MainWindowView* view_ = nullptr;
    TfrmPytanie* dialog_ = nullptr;
    RunView* log_ = nullptr;
    std::optional<LanguageCode> requestedLanguage_;
    std::array<ControlState, kMainControlCount> controls_;
    RunState state_;
    // The control that had the focus when the run disabled the push buttons.
    MainControl focusBeforeRun_ = MainControl::btnUpdate;
    bool runInProgress_ = false;
    bool handlerFailed_ = false;
    bool closeAfterRun_ = false;
};

}  // namespace patcher

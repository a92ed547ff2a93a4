#include "app/untMainPatcher.h"

#include <thread>
#include <utility>

#include "app/ExitCodes.h"
#include "app/UpdateRun.h"
#include "app/WindowLanguages.h"
#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "profile/ProductKinds.h"

namespace patcher {
namespace {

using C = MainControl;

// The flag buttons in the order btnPolskiClick looks at them, with the language each one stands for.
constexpr std::array<std::pair<MainControl, LanguageCode>, 4> kFlagLanguages = {{
    {C::btnPolski, kPolish},
    {C::btnAngielski, kEnglish},
    {C::btnNiemiecki, kGerman},
    {C::btnFrancuski, kFrench},
}};

// Components whose text follows the window's font: they have no font of their own.
constexpr std::array<MainControl, 6> kWindowFontFollowers = {C::btnUpdate,    C::btnZamknij,   C::btnPolski,
                                                             C::btnAngielski, C::btnNiemiecki, C::btnFrancuski};

bool IsFlagButton(MainControl control) {
    return DesignOf(control).Kind == ControlKind::FlagButton;
}

FontDescription DesignFontOf(MainControl control) {
    switch (control) {
        case C::lblTytul:
            return DesignTitleFont();
        case C::lblKrok:
            return DesignStepFont();
        case C::lblJezyk:
            return DesignLanguageCaptionFont();
        default:
            return DesignWindowFont();
    }
}

// Clears the run-in-progress mark however the run ends.
class RunInProgressMark {
  public:
    RunInProgressMark(bool& mark, MainWindowView* view) : mark_(mark), view_(view) { Set(true); }
    RunInProgressMark(const RunInProgressMark&) = delete;
    RunInProgressMark& operator=(const RunInProgressMark&) = delete;
    ~RunInProgressMark() { Set(false); }

  private:
    void Set(bool value) {
        mark_ = value;
        if (view_ != nullptr) {
            view_->SetRunInProgress(value);
        }
    }

    bool& mark_;
    MainWindowView* view_;
};

}  // namespace

TfrmMainPatcher::TfrmMainPatcher(ProductProfile& profile,
                                 UpdateRunSystem& system,
                                 LanguageDetector detectLanguage,
                                 RunOptions options)
    : profile_(profile), system_(system), detectLanguage_(std::move(detectLanguage)), options_(std::move(options)) {
    for (const ControlDesign& design : MainWindowDesign) {
        ControlState& state = Mutable(design.Control);
        state.Caption = DesignCaption(design.Control);
        state.Font = DesignFontOf(design.Control);
        state.Left = design.Bounds.Left;
    }
    // German and French are offered only by the products in those languages.
    for (const MainControl hidden : {C::btnNiemiecki, C::btnFrancuski}) {
        Mutable(hidden).Visible = false;
        Mutable(hidden).Enabled = false;
    }
    Mutable(C::btnPolski).Down = true;
    dlgOtworz.Filter = OpenDialogFilter();
    FormCreate();
}

void TfrmMainPatcher::AttachView(MainWindowView& view) {
    view_ = &view;
    for (const ControlDesign& design : MainWindowDesign) {
        Refresh(design.Control);
    }
}

void TfrmMainPatcher::AttachDialog(TfrmPytanie& dialog) {
    dialog_ = &dialog;
}

void TfrmMainPatcher::AttachLog(RunView& log) {
    log_ = &log;
}

void TfrmMainPatcher::RequestLanguage(LanguageCode language) {
    requestedLanguage_ = language;
}

void TfrmMainPatcher::Show() {
    FormShow();
    if (view_ != nullptr) {
        view_->ShowCentred();
    }
}

void TfrmMainPatcher::FormCreate() {
    state_.RunSucceeded = false;
    state_.RunDone = false;
}

void TfrmMainPatcher::FormShow() {
    const LanguageCode productLanguage = profile_.ProductLanguage;
    ShowFlag(C::btnAngielski, productLanguage == kEnglish);
    ShowFlag(C::btnNiemiecki, productLanguage == kGerman);
    ShowFlag(C::btnFrancuski, productLanguage == kFrench);
    // The one foreign flag shown stands right of the Polish one.
    const int foreignLeft = DesignOf(C::btnAngielski).Bounds.Left;
    if (productLanguage == kGerman) {
        Mutable(C::btnNiemiecki).Left = foreignLeft;
        Refresh(C::btnNiemiecki);
    } else if (productLanguage == kFrench) {
        Mutable(C::btnFrancuski).Left = foreignLeft;
        Refresh(C::btnFrancuski);
    }

    if (requestedLanguage_) {
        // Asked for by name: the flag shows which language it is, as if it had been pressed.
        for (const auto& [flag, language] : kFlagLanguages) {
            Mutable(flag).Down = language == *requestedLanguage_;
            Refresh(flag);
        }
        SetDisplayLanguage(*requestedLanguage_);
    } else {
        // The window starts in the product's language only under a locale of that language.
        SetDisplayLanguage(StartingDisplayLanguage(profile_, detectLanguage_ ? detectLanguage_() : kPolish));
    }

    if (HidesEnglishFlag(profile_.ProductKind)) {
        ShowFlag(C::btnAngielski, false);
    }
}

bool TfrmMainPatcher::FormCloseQuery() const {
    return !runInProgress_;
}

void TfrmMainPatcher::RequestClose() {
    if (FormCloseQuery()) {
        if (view_ != nullptr) {
            view_->Close();
        }
        return;
    }
    // Closing while the run is between writing a file and swapping it in would leave that to chance. Once
    // its files are done the buttons are enabled again, and a close asked for then is only postponed until
    // the summary is shown and the run has returned.
    if (state_.RunDone) {
        closeAfterRun_ = true;
    }
}

void TfrmMainPatcher::SetDisplayLanguage(LanguageCode language) {
    state_.DisplayLanguage = language;
    profile_.TitleColumn = TitleColumnOf(language);
    if (dialog_ != nullptr) {
        SetDialogLanguage(*dialog_, language);
    }

    ApplyLanguageFont(Mutable(C::Window).Font, language);
    for (const MainControl follower : kWindowFontFollowers) {
        Mutable(follower).Font = Control(C::Window).Font;
    }
    ApplyLanguageFont(Mutable(C::lblTytul).Font, kPolish);
    ApplyLanguageFont(Mutable(C::lblKrok).Font, language);
    ApplyLanguageFont(Mutable(C::lblMain).Font, language);
    ApplyLanguageFont(Mutable(C::lblJezyk).Font, kPolish);

    const ByteStringView title = CurrentTitle();
    const ByteStringView version = UpdateVersion(profile_.UpdateIndex);
    SetCaption(C::Window, FormatText(LookupMessage(language, kMessageWindowCaption), {title}));
    SetCaption(C::lblTytul, FormatText(LookupMessage(language, kMessageTitle), {title}));
    SetCaption(C::lblKrok, FormatText(LookupMessage(language, kMessageVersion), {version}));
    SetCaption(C::btnUpdate, ByteString(LookupMessage(language, kMessageUpdateButton)));
    SetCaption(C::btnZamknij, ByteString(LookupMessage(language, kMessageFinishButton)));
    dlgOtworz.Title = LookupMessage(language, kMessageOpenDialogTitle);

    if (state_.RunDone) {
        // The summary the run ended with: "nothing needed updating" must not turn into "updated".
        const int summary = state_.Summary != 0   ? state_.Summary
                            : state_.RunSucceeded ? kSummaryUpdated
                                                  : kSummaryFailed;
        SetCaption(C::lblMain, ByteString(LookupMessage(language, summary)));
    } else {
        SetCaption(C::lblMain, FormatText(LookupMessage(language, kMessageIntroduction), {title, version}));
    }
    for (const ControlDesign& design : MainWindowDesign) {
        Refresh(design.Control);
    }
}

void TfrmMainPatcher::FlagButtonPressed(MainControl flagButton) {
    if (!IsFlagButton(flagButton) || !Control(flagButton).Visible || !Control(flagButton).Enabled) {
        return;
    }
    if (Control(flagButton).Down) {
        Mutable(flagButton).Down = false;
    } else {
        for (const auto& [flag, language] : kFlagLanguages) {
            Mutable(flag).Down = flag == flagButton;
        }
    }
    for (const auto& [flag, language] : kFlagLanguages) {
        Refresh(flag);
    }
    btnPolskiClick();
}

void TfrmMainPatcher::btnPolskiClick() {
    for (const auto& [flag, language] : kFlagLanguages) {
        if (Control(flag).Down) {
            SetDisplayLanguage(language);
            return;
        }
    }
}

void TfrmMainPatcher::btnUpdateClick() {
    // Enter reaches here as well as a click: only an enabled button starts a run.
    if (runInProgress_ || !Control(C::btnUpdate).Enabled) {
        return;
    }
    {
        const RunInProgressMark mark(runInProgress_, view_);
        if (log_ != nullptr) {
            RunViewTee both(*log_, *this);
            RunUpdate(profile_, state_, both, system_, options_);
        } else {
            RunUpdate(profile_, state_, *this, system_, options_);
        }
    }
    if (std::exchange(closeAfterRun_, false) && view_ != nullptr) {
        view_->Close();
    }
}

int TfrmMainPatcher::ExitCode() const noexcept {
    return handlerFailed_ ? kExitPatcherFailed : ExitCodeOf(state_);
}

void TfrmMainPatcher::HandlerFailed(std::string_view what) noexcept {
    handlerFailed_ = true;
    if (log_ != nullptr) {
        try {
            log_->Unexpected(what);
        } catch (...) {
            // The exit code still says it.
        }
    }
}

void TfrmMainPatcher::btnZamknijClick() {
    RequestClose();
}

const ControlState& TfrmMainPatcher::Control(MainControl control) const {
    return controls_[static_cast<std::size_t>(control)];
}

void TfrmMainPatcher::SetMainText(const ShownText& text) {
    SetCaption(C::lblMain, Rendered(text));
    Refresh(C::lblMain);
}

void TfrmMainPatcher::AppendMainText(const ShownText& text) {
    SetCaption(C::lblMain, Control(C::lblMain).Caption + Rendered(text));
    Refresh(C::lblMain);
}

void TfrmMainPatcher::EnablePushButtons(bool enabled) {
    // Disabling the focused button leaves no control with the focus, and Enter and Tab with nothing to act
    // on: the focus goes back where it was when the buttons come back.
    if (!enabled && view_ != nullptr) {
        focusBeforeRun_ = view_->FocusedControl().value_or(C::btnUpdate);
    }
    for (const MainControl button : {C::btnUpdate, C::btnZamknij}) {
        Mutable(button).Enabled = enabled;
        Refresh(button);
    }
    if (enabled && view_ != nullptr) {
        view_->Focus(focusBeforeRun_);
    }
}

void TfrmMainPatcher::FocusCloseButton() {
    if (view_ != nullptr) {
        view_->Focus(C::btnZamknij);
    }
}

void TfrmMainPatcher::ProcessPendingMessages() {
    if (view_ != nullptr) {
        view_->ProcessPendingMessages();
    }
}

std::optional<ByteString> TfrmMainPatcher::AskForProgramFile() {
    return view_ != nullptr ? view_->ShowOpenDialog(dlgOtworz) : std::nullopt;
}

void TfrmMainPatcher::ShowProblem(const ShownText& text) {
    if (dialog_ != nullptr) {
        ShowMessageDialog(*dialog_, view_ != nullptr ? view_->Handle() : NativeWindow{}, Rendered(text), kDialogOk);
    }
}

void TfrmMainPatcher::Pause(std::chrono::milliseconds pause) {
    ProcessPendingMessages();
    std::this_thread::sleep_for(pause);
    ProcessPendingMessages();
}

ControlState& TfrmMainPatcher::Mutable(MainControl control) {
    return controls_[static_cast<std::size_t>(control)];
}

void TfrmMainPatcher::Refresh(MainControl control) {
    if (view_ != nullptr) {
        view_->Refresh(control, Control(control));
    }
}

void TfrmMainPatcher::SetCaption(MainControl control, ByteString caption) {
    Mutable(control).Caption = std::move(caption);
}

void TfrmMainPatcher::ShowFlag(MainControl flagButton, bool shown) {
    Mutable(flagButton).Visible = shown;
    Mutable(flagButton).Enabled = shown;
    Refresh(flagButton);
}

ByteStringView TfrmMainPatcher::CurrentTitle() const {
    return UpdateTitle(profile_.UpdateIndex, profile_.TitleColumn);
}

}  // namespace patcher

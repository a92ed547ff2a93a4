#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/untMainPatcher.h"
#include "lang/untPytanie.h"
#include "tests/lang/FixedWidthMeasure.h"

namespace patcher::testing {

// The screen as the form put it there: the last state shown of every component.
class ScreenView final : public MainWindowView {
  public:
    std::map<MainControl, ControlState> Shown;
    std::vector<std::string> Log;
    std::optional<ByteString> ChosenFile;
    std::optional<MainControl> Focused;
    std::function<void()> OnMessages;
    int MessagePoints = 0;
    bool Visible = false;
    bool Closed = false;

    void Refresh(MainControl control, const ControlState& state) override { Shown.insert_or_assign(control, state); }
    void Focus(MainControl control) override {
        Focused = control;
        Log.push_back("focus " + std::to_string(static_cast<int>(control)));
    }
    std::optional<MainControl> FocusedControl() const override { return Focused; }
    void ShowCentred() override { Visible = true; }
    void ProcessPendingMessages() override {
        ++MessagePoints;
        if (OnMessages) {
            OnMessages();
        }
    }
    std::optional<ByteString> ShowOpenDialog(const OpenDialogSettings& settings) override {
        Log.push_back("open dialog " + settings.Filter + " title=" + settings.Title +
                      (settings.Resizable ? " resizable" : ""));
        return ChosenFile;
    }
    NativeWindow Handle() const override { return NativeWindow{const_cast<ScreenView*>(this)}; }
    void Close() override { Closed = true; }
    void SetRunInProgress(bool inProgress) override { Log.push_back(inProgress ? "run starts" : "run ends"); }

    const ControlState& Of(MainControl control) const { return Shown.at(control); }
};

// The message dialog's window: records what it was asked to show, answers OK.
class DialogScreen final : public MessageDialogView {
  public:
    std::vector<MessageDialogScreen> Showings;
    std::vector<NativeWindow> Owners;
    std::function<void()> WhileShown;

    std::unique_ptr<TextMeasure> MeasureIn(const FontDescription&) override {
        return std::make_unique<testing::FixedWidthMeasure>(6, 13);
    }
    int ShowModal(const MessageDialogScreen& screen, NativeWindow owner) override {
        Showings.push_back(screen);
        Owners.push_back(owner);
        if (WhileShown) {
            WhileShown();
        }
        return kResultYes;
    }
};

}  // namespace patcher::testing

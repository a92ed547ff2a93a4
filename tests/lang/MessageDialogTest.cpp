#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "lang/untPytanie.h"
#include "platform/PlatformError.h"
#include "tests/lang/FixedWidthMeasure.h"

namespace patcher {
namespace {

// Records every showing and answers with the next prepared answer.
class RecordingView final : public MessageDialogView {
  public:
    struct Showing {
        MessageDialogScreen Screen;
        NativeWindow Owner;
    };

    std::vector<Showing> Showings;
    std::vector<FontDescription> MeasuredFonts;
    int Answer = 6;
    bool FailToShow = false;

    std::unique_ptr<TextMeasure> MeasureIn(const FontDescription& font) override {
        MeasuredFonts.push_back(font);
        return std::make_unique<testing::FixedWidthMeasure>(font.Charset() == 204 ? 7 : 6, 13);
    }

    int ShowModal(const MessageDialogScreen& screen, NativeWindow owner) override {
        if (FailToShow) {
            throw PlatformError("DialogBoxIndirectParamW", 1400);
        }
        Showings.push_back({screen, owner});
        return Answer;
    }
};

class MessageDialogTest : public ::testing::Test {
  protected:
    MessageDialogTest() {
        auto view = std::make_unique<RecordingView>();
        view_ = view.get();
        dialog_.emplace(std::move(view));
    }

    const MessageDialogScreen& Show(ByteStringView text, DialogKind kind) {
        ShowMessageDialog(*dialog_, owner_, text, kind);
        return view_->Showings.back().Screen;
    }

    std::array<ByteString, 3> DialogCaptions() const {
        return {dialog_->btnTakCaption, dialog_->btnNieCaption, dialog_->btnAnulujCaption};
    }

    RecordingView* view_ = nullptr;
    std::optional<TfrmPytanie> dialog_;
    int ownerToken_ = 0;
    NativeWindow owner_{&ownerToken_};
};

using Captions = std::array<ByteString, 3>;

TEST_F(MessageDialogTest, StartsWithItsDesignTexts) {
    EXPECT_EQ(dialog_->Caption, "Uwaga");
    EXPECT_EQ(DialogCaptions(), (Captions{"Tak", "Nie", "Anuluj"}));
    EXPECT_EQ(dialog_->Font, FontDescription("MS Sans Serif", 11, 1));
}

TEST_F(MessageDialogTest, TakesTheLanguageOfTheWindow) {
    SetDialogLanguage(*dialog_, kEnglish);
    EXPECT_EQ(dialog_->Caption, "Attention");
    EXPECT_EQ(DialogCaptions(), (Captions{"Yes", "No", "Cancel"}));
    EXPECT_EQ(dialog_->Font, FontDescription("Arial", 11, 238));

    SetDialogLanguage(*dialog_, kGerman);
    EXPECT_EQ(dialog_->Caption, "Achtung");
    EXPECT_EQ(DialogCaptions(), (Captions{"Ja", "Nein", "Abbrechen"}));

    SetDialogLanguage(*dialog_, kRussian);
    EXPECT_EQ(dialog_->Caption, "Uwaga");
    EXPECT_EQ(DialogCaptions(), (Captions{"Tak", "Nie", "Anuluj"}));
    EXPECT_EQ(dialog_->Font, FontDescription("Arial", 11, 204));

    const MessageDialogScreen& screen = Show("x", kDialogYesNoCancel);
    EXPECT_EQ(screen.Caption, "Uwaga");
    EXPECT_EQ(screen.Font.Charset(), 204);
    EXPECT_EQ(view_->MeasuredFonts.back(), dialog_->Font);
}

TEST_F(MessageDialogTest, CaptionsTheButtonsPerKind) {
    SetDialogLanguage(*dialog_, kEnglish);
    EXPECT_EQ(Show("a", kDialogOk).ButtonCaptions[kButtonTak], "OK");
    EXPECT_EQ(Show("a", kDialogYesNo).ButtonCaptions, (Captions{"Yes", "No", "Cancel"}));
    EXPECT_EQ(Show("a", kDialogOkCancel).ButtonCaptions, (Captions{"OK", "Cancel", "Cancel"}));
    EXPECT_EQ(Show("a", kDialogYesNoCancel).ButtonCaptions, (Captions{"Yes", "No", "Cancel"}));
    EXPECT_EQ(Show("a", 9).ButtonCaptions[kButtonTak], "OK");
}

TEST_F(MessageDialogTest, AYesNoQuestionAfterAnOkCancelOneSaysYesAndNoAgain) {
    SetDialogLanguage(*dialog_, kGerman);
    EXPECT_EQ(Show("a", kDialogOkCancel).ButtonCaptions, (Captions{"OK", "Abbrechen", "Abbrechen"}));
    EXPECT_EQ(DialogCaptions(), (Captions{"Ja", "Nein", "Abbrechen"}));
    EXPECT_EQ(Show("a", kDialogYesNo).ButtonCaptions, (Captions{"Ja", "Nein", "Abbrechen"}));
    SetDialogLanguage(*dialog_, kPolish);
    EXPECT_EQ(Show("a", kDialogOk).ButtonCaptions, (Captions{"OK", "Nie", "Anuluj"}));
    EXPECT_EQ(Show("a", kDialogYesNo).ButtonCaptions, (Captions{"Tak", "Nie", "Anuluj"}));
}

TEST_F(MessageDialogTest, HandsTheLaidOutTextToTheWindowAndReturnsItsAnswer) {
    view_->Answer = 7;
    EXPECT_EQ(ShowMessageDialog(*dialog_, owner_, "Line one\r\nLine two", kDialogOkCancel), 7);
    ASSERT_EQ(view_->Showings.size(), 1u);
    const RecordingView::Showing& showing = view_->Showings.back();
    EXPECT_EQ(showing.Owner.Handle, &ownerToken_);
    EXPECT_EQ(showing.Screen.LabelText, "Line one\r\nLine two");
    EXPECT_EQ(showing.Screen.Layout.Label.Height, 26);
    EXPECT_EQ(showing.Screen.Layout.ClientWidth, 234);
    EXPECT_EQ(showing.Screen.Layout.CancelButton, kButtonNie);

    // Wrapped lines reach the window joined by line breaks.
    const std::string word(60, 'w');  // 360 pixels: two do not fit in 400
    const MessageDialogScreen& wrapped = Show(word + " " + word, kDialogOk);
    EXPECT_EQ(wrapped.LabelText, word + "\r\n" + word);
}

TEST_F(MessageDialogTest, AnswersZeroWhenNothingCouldBeShown) {
    SetDialogLanguage(*dialog_, kEnglish);
    view_->FailToShow = true;
    EXPECT_EQ(ShowMessageDialog(*dialog_, owner_, "text", kDialogYesNo), 0);
    EXPECT_EQ(DialogCaptions(), (Captions{"Yes", "No", "Cancel"}));
}

}  // namespace
}  // namespace patcher

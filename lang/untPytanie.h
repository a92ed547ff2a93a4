#pragma once

#include <array>
#include <memory>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "lang/DialogLayout.h"
#include "platform/Font.h"
#include "platform/NativeWindow.h"

namespace patcher {

// Everything one showing of the message dialog puts on screen.
struct MessageDialogScreen {
    ByteString Caption;
    FontDescription Font;  // the label and the buttons draw with it; every text is read as kTextCodePage
    ByteString LabelText;  // the label's lines joined by CR LF
    MessageDialogLayout Layout;
    std::array<ByteString, kDialogButtonCount> ButtonCaptions;
};

// The window system's side of the dialog.
class MessageDialogView {
  public:
    virtual ~MessageDialogView() = default;

    // Measures text as the dialog will draw it in this font.
    virtual std::unique_ptr<TextMeasure> MeasureIn(const FontDescription& font) = 0;
    // Shows the screen modally, centred over the owner's outer rectangle (over the screen without an
    // owner), with the owner disabled meanwhile and the first button focused. Returns the answer of the
    // button that closed it. Throws PlatformError when the dialog cannot be shown.
    virtual int ShowModal(const MessageDialogScreen& screen, NativeWindow owner) = 0;
};

// The program's one message dialog: its language texts and font between showings. It starts with its
// design texts ("Uwaga", "Tak", "Nie", "Anuluj" in "MS Sans Serif") until SetDialogLanguage.
class TfrmPytanie {
  public:
    explicit TfrmPytanie(std::unique_ptr<MessageDialogView> view);

    FontDescription Font;
    ByteString Caption;
    ByteString btnTakCaption;
    ByteString btnNieCaption;
    ByteString btnAnulujCaption;

    MessageDialogView& View() noexcept { return *view_; }

  private:
    std::unique_ptr<MessageDialogView> view_;
};

// Gives the dialog the language's font (through ApplyLanguageFont) and its caption and button captions
// (messages 181 to 184).
void SetDialogLanguage(TfrmPytanie& dialog, LanguageCode language);

// Shows a complete, formatted message (CR LF breaks lines) with the buttons of the kind, sized to the text
// and centred over the owner, and waits for an answer: 6 (yes, or OK), 7 (no, or cancel under kind 2) or
// 2 (cancel under kind 3). Kinds 0 and 2 caption the first button "OK"; kind 2 captions the second with the
// dialog's cancel word. The dialog's own captions are left as they were. Returns 0 when no dialog could be
// shown.
int ShowMessageDialog(TfrmPytanie& dialog, NativeWindow owner, ByteStringView text, DialogKind kind);

#ifdef _WIN32
// The dialog of the Windows window system (lang/win32).
std::unique_ptr<MessageDialogView> CreateWin32MessageDialogView();
#endif

}  // namespace patcher

#include "lang/untPytanie.h"

#include <exception>

#include "lang/LanguageRules.h"
#include "lang/MessageCatalogue.h"

namespace patcher {
namespace {

// The same in every language, so it is not in the catalogue.
constexpr char kOkCaption[] = "OK";

ByteString JoinLines(const std::vector<ByteString>& lines) {
    ByteString joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0) {
            joined += "\r\n";
        }
        joined += lines[i];
    }
    return joined;
}

}  // namespace

TfrmPytanie::TfrmPytanie(std::unique_ptr<MessageDialogView> view)
    : Font("MS Sans Serif", 11, kCharsetDefault),
      Caption("Uwaga"),
      btnTakCaption("Tak"),
      btnNieCaption("Nie"),
      btnAnulujCaption("Anuluj"),
      view_(std::move(view)) {}

void SetDialogLanguage(TfrmPytanie& dialog, LanguageCode language) {
    ApplyLanguageFont(dialog.Font, language);
    dialog.Caption = LookupMessage(language, kMessageDialogCaption);
    dialog.btnTakCaption = LookupMessage(language, kMessageYes);
    dialog.btnNieCaption = LookupMessage(language, kMessageNo);
    dialog.btnAnulujCaption = LookupMessage(language, kMessageCancel);
}

int ShowMessageDialog(TfrmPytanie& dialog, NativeWindow owner, ByteStringView text, DialogKind kind) {
    try {
        // The kind's captions go to this showing only, so the dialog's language captions need no restoring.
        MessageDialogScreen screen{
            dialog.Caption, dialog.Font, {}, {}, {dialog.btnTakCaption, dialog.btnNieCaption, dialog.btnAnulujCaption}};
        if (kind == kDialogOk || kind == kDialogOkCancel || kind > kDialogYesNoCancel) {
            screen.ButtonCaptions[kButtonTak] = kOkCaption;
        }
        if (kind == kDialogOkCancel) {
            screen.ButtonCaptions[kButtonNie] = dialog.btnAnulujCaption;
        }
        const std::unique_ptr<TextMeasure> measure = dialog.View().MeasureIn(dialog.Font);
        screen.Layout = LayoutMessageDialog(text, kind, *measure);
        screen.LabelText = JoinLines(screen.Layout.LabelLines);
        return dialog.View().ShowModal(screen, owner);
    } catch (const std::exception&) {
        // A message that cannot be shown must not end the operation that wanted to show it.
        return 0;
    }
}

}  // namespace patcher

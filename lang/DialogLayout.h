#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/ByteString.h"

namespace patcher {

// Selects the buttons of the message dialog: 0 OK; 1 yes/no; 2 OK/cancel (the cancel button answers "no");
// 3 yes/no/cancel. Kinds above 3 show the dialog of kind 0.
using DialogKind = std::uint8_t;
inline constexpr DialogKind kDialogOk = 0;
inline constexpr DialogKind kDialogYesNo = 1;
inline constexpr DialogKind kDialogOkCancel = 2;
inline constexpr DialogKind kDialogYesNoCancel = 3;

// The answers (modal results) of the dialog's buttons.
inline constexpr int kResultCancel = 2;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;

// Measures text in the font the dialog draws with.
class TextMeasure {
  public:
    virtual ~TextMeasure() = default;

    // Width in pixels of one line (no line breaks in it) as the label draws it.
    virtual int LineWidth(ByteStringView line) const = 0;
    // Height in pixels of one line of the label.
    virtual int LineHeight() const = 0;
};

struct PixelRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const PixelRect&) const = default;
};

// The design of the dialog, in pixels within its client area.
namespace dialog_design {
inline constexpr int kLabelLeft = 16;
inline constexpr int kLabelTop = 16;
inline constexpr int kLabelMaxWidth = 400;
inline constexpr int kButtonWidth = 97;
inline constexpr int kButtonHeight = 23;
inline constexpr int kButtonGap = 8;
inline constexpr int kButtonBottomMargin = 6;
}  // namespace dialog_design

// The buttons in their design order, left to right.
enum DialogButton : int { kButtonTak = 0, kButtonNie = 1, kButtonAnuluj = 2, kNoButton = -1 };
inline constexpr int kDialogButtonCount = 3;

struct DialogButtonLayout {
    int Left = 0;
    int Top = 0;
    bool Visible = false;  // and enabled
    int Result = 0;
};

// Where everything of one showing goes. Client coordinates; button sizes are the design's.
struct MessageDialogLayout {
    std::vector<ByteString> LabelLines;  // drawn centred, one under the other
    PixelRect Label;
    std::array<DialogButtonLayout, kDialogButtonCount> Buttons;
    int CancelButton = kNoButton;  // the button that Esc presses
    int ClientWidth = 0;
    int ClientHeight = 0;
};

// Splits text into lines at CR LF (or a lone CR or LF) and wraps every line wider than maxWidth at spaces
// (the spaces at a wrap are dropped); a word wider than maxWidth is cut between characters, so that no line
// is wider than maxWidth unless a single character is. An empty text is one empty line.
std::vector<ByteString> WrapText(ByteStringView text, int maxWidth, const TextMeasure& measure);

// Sizes the dialog to its text. The label takes the width of the text's longest line, at most 400 pixels,
// and wraps the lines that are wider; it is widened to the button row when that is wider. The row of
// visible buttons is centred under the label, 18 pixels below it and 6 above the bottom of the client area,
// which is the label plus a 16-pixel margin on the left, right and top.
MessageDialogLayout LayoutMessageDialog(ByteStringView text, DialogKind kind, const TextMeasure& measure);

// The top-left corner that centres a window of the given outer size over the owner's outer rectangle; the
// halves are rounded toward zero.
struct PixelPoint {
    int Left = 0;
    int Top = 0;

    bool operator==(const PixelPoint&) const = default;
};
PixelPoint CentreOver(const PixelRect& owner, int width, int height) noexcept;

}  // namespace patcher

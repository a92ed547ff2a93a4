#include "lang/DialogLayout.h"

#include <algorithm>

namespace patcher {
namespace {

using namespace dialog_design;

std::vector<ByteStringView> SplitLines(ByteStringView text) {
    std::vector<ByteStringView> lines;
    std::size_t start = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        const char byte = text[position];
        if (byte != '\r' && byte != '\n') {
            ++position;
            continue;
        }
        lines.push_back(text.substr(start, position - start));
        position += (byte == '\r' && position + 1 < text.size() && text[position + 1] == '\n') ? 2 : 1;
        start = position;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// Appends the lines of one line of text that is wider than maxWidth. Widths are measured over whole
// candidate lines, since a font's widths need not add up character by character.
void WrapLine(ByteStringView line, int maxWidth, const TextMeasure& measure, std::vector<ByteString>& out) {
    std::size_t start = 0;
    while (start < line.size()) {
        const ByteStringView rest = line.substr(start);
        if (measure.LineWidth(rest) <= maxWidth) {
            out.emplace_back(rest);
            return;
        }
        // The longest run of whole words that fits.
        std::size_t end = ByteStringView::npos;
        for (std::size_t i = start + 1; i < line.size(); ++i) {
            if (line[i] != ' ' || line[i - 1] == ' ') {
                continue;
            }
            if (measure.LineWidth(line.substr(start, i - start)) > maxWidth) {
                break;
            }
            end = i;
        }
        if (end == ByteStringView::npos) {
            // The first word alone is too wide: cut it after as many characters as fit, at least one.
            end = start + 1;
            while (end < line.size() && measure.LineWidth(line.substr(start, end + 1 - start)) <= maxWidth) {
                ++end;
            }
            out.emplace_back(line.substr(start, end - start));
            start = end;
            continue;
        }
        out.emplace_back(line.substr(start, end - start));
        start = line.find_first_not_of(' ', end);
        if (start == ByteStringView::npos) {
            return;
        }
    }
}

int ButtonRowWidth(DialogKind kind) {
    switch (kind) {
        case kDialogYesNo:
        case kDialogOkCancel:
            return 2 * kButtonWidth + kButtonGap;
        case kDialogYesNoCancel:
            return 3 * kButtonWidth + 2 * kButtonGap;
        default:
            return kButtonWidth;
    }
}

}  // namespace

std::vector<ByteString> WrapText(ByteStringView text, int maxWidth, const TextMeasure& measure) {
    std::vector<ByteString> wrapped;
    for (const ByteStringView line : SplitLines(text)) {
        if (measure.LineWidth(line) <= maxWidth) {
            wrapped.emplace_back(line);
        } else {
            WrapLine(line, maxWidth, measure, wrapped);
        }
    }
    return wrapped;
}

MessageDialogLayout LayoutMessageDialog(ByteStringView text, DialogKind kind, const TextMeasure& measure) {
    MessageDialogLayout layout;

    // Sized to the longest line first, within the maximum width; then the wider lines wrap and the label
    // shrinks to the widest line that is left.
    int longest = 0;
    for (const ByteStringView line : SplitLines(text)) {
        longest = std::max(longest, measure.LineWidth(line));
    }
    layout.LabelLines = WrapText(text, std::min(longest, kLabelMaxWidth), measure);
    int labelWidth = 0;
    for (const ByteString& line : layout.LabelLines) {
        labelWidth = std::max(labelWidth, measure.LineWidth(line));
    }
    const int labelHeight = static_cast<int>(layout.LabelLines.size()) * measure.LineHeight();

    const int rowWidth = ButtonRowWidth(kind);
    labelWidth = std::max(labelWidth, rowWidth);
    layout.Label = PixelRect{kLabelLeft, kLabelTop, labelWidth, labelHeight};

    layout.ClientWidth = 2 * kLabelLeft + labelWidth;
    layout.ClientHeight = 2 * kLabelTop + labelHeight + kButtonHeight + kButtonGap;

    const bool second = kind == kDialogYesNo || kind == kDialogOkCancel || kind == kDialogYesNoCancel;
    const bool third = kind == kDialogYesNoCancel;
    const int rowLeft = kLabelLeft + (labelWidth - rowWidth) / 2;
    const int buttonTop = layout.ClientHeight - kButtonBottomMargin - kButtonHeight;
    layout.Buttons[kButtonTak] = {rowLeft, buttonTop, true, kResultYes};
    layout.Buttons[kButtonNie] = {rowLeft + kButtonWidth + kButtonGap, buttonTop, second, kResultNo};
    layout.Buttons[kButtonAnuluj] = {rowLeft + 2 * (kButtonWidth + kButtonGap), buttonTop, third, kResultCancel};

    // Esc presses the first visible button that is a cancel button: the second one for kinds 1 and 2, the
    // third one (always a cancel button) for kind 3, none for kind 0.
    const bool nieCancels = kind == kDialogYesNo || kind == kDialogOkCancel;
    if (nieCancels) {
        layout.CancelButton = kButtonNie;
    } else if (third) {
        layout.CancelButton = kButtonAnuluj;
    }
    return layout;
}

PixelPoint CentreOver(const PixelRect& owner, int width, int height) noexcept {
    return PixelPoint{owner.Left + (owner.Width - width) / 2, owner.Top + (owner.Height - height) / 2};
}

}  // namespace patcher

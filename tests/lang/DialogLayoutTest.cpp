#include <gtest/gtest.h>

#include <string>

#include "lang/DialogLayout.h"
#include "tests/lang/FixedWidthMeasure.h"

namespace patcher {
namespace {

using testing::FixedWidthMeasure;

constexpr int kCharacter = 6;
constexpr int kLine = 13;
const FixedWidthMeasure kMeasure(kCharacter, kLine);

std::string Joined(const std::vector<ByteString>& lines, const char* separator) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        joined += (i == 0 ? "" : separator) + lines[i];
    }
    return joined;
}

// What every layout keeps, whatever its text and kind.
void ExpectDesignRules(const MessageDialogLayout& layout) {
    EXPECT_EQ(layout.Label.Left, 16);
    EXPECT_EQ(layout.Label.Top, 16);
    EXPECT_EQ(layout.Label.Height, static_cast<int>(layout.LabelLines.size()) * kLine);
    EXPECT_EQ(layout.ClientWidth, 32 + layout.Label.Width);
    EXPECT_EQ(layout.ClientHeight, layout.Label.Height + 63);
    for (const DialogButtonLayout& button : layout.Buttons) {
        EXPECT_EQ(button.Top + 23, layout.ClientHeight - 6);   // 6 pixels above the bottom
        EXPECT_EQ(button.Top, 16 + layout.Label.Height + 18);  // 18 below the label
    }
    EXPECT_EQ(layout.Buttons[kButtonNie].Left, layout.Buttons[kButtonTak].Left + 105);
    EXPECT_EQ(layout.Buttons[kButtonAnuluj].Left, layout.Buttons[kButtonNie].Left + 105);
    EXPECT_EQ(layout.Buttons[kButtonTak].Result, 6);
    EXPECT_EQ(layout.Buttons[kButtonNie].Result, 7);
    EXPECT_EQ(layout.Buttons[kButtonAnuluj].Result, 2);
    for (const ByteString& line : layout.LabelLines) {
        EXPECT_LE(kMeasure.LineWidth(line), layout.Label.Width);
    }
}

TEST(LayoutMessageDialog, ShortTextWidensToTheButtonRow) {
    const struct {
        DialogKind Kind;
        int LabelWidth;
        bool Nie;
        bool Anuluj;
        int Cancel;
    } cases[] = {
        {kDialogOk, 97, false, false, kNoButton},
        {kDialogYesNo, 202, true, false, kButtonNie},
        {kDialogOkCancel, 202, true, false, kButtonNie},
        {kDialogYesNoCancel, 307, true, true, kButtonAnuluj},
        {4, 97, false, false, kNoButton},
        {255, 97, false, false, kNoButton},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.Kind});
        const MessageDialogLayout layout = LayoutMessageDialog("Short.", c.Kind, kMeasure);
        ExpectDesignRules(layout);
        EXPECT_EQ(layout.LabelLines, std::vector<ByteString>{"Short."});
        EXPECT_EQ(layout.Label.Width, c.LabelWidth);
        EXPECT_EQ(layout.ClientWidth, c.LabelWidth + 32);
        EXPECT_EQ(layout.ClientHeight, 13 + 63);
        EXPECT_EQ(layout.Buttons[kButtonTak].Left, 16);  // the row fills the label exactly
        EXPECT_TRUE(layout.Buttons[kButtonTak].Visible);
        EXPECT_EQ(layout.Buttons[kButtonNie].Visible, c.Nie);
        EXPECT_EQ(layout.Buttons[kButtonAnuluj].Visible, c.Anuluj);
        EXPECT_EQ(layout.CancelButton, c.Cancel);
    }
    EXPECT_EQ(LayoutMessageDialog("OK", kDialogOk, kMeasure).ClientWidth, 129);
}

TEST(LayoutMessageDialog, CentresTheRowUnderAWiderLabel) {
    // 50 characters: 300 pixels; (300 - 97) / 2 = 101.5 goes toward zero.
    const MessageDialogLayout one = LayoutMessageDialog(std::string(50, 'x'), kDialogOk, kMeasure);
    ExpectDesignRules(one);
    EXPECT_EQ(one.Label.Width, 300);
    EXPECT_EQ(one.Buttons[kButtonTak].Left, 16 + 101);

    const MessageDialogLayout three = LayoutMessageDialog(std::string(55, 'x'), kDialogYesNoCancel, kMeasure);
    ExpectDesignRules(three);
    EXPECT_EQ(three.Label.Width, 330);
    EXPECT_EQ(three.Buttons[kButtonTak].Left, 16 + 11);  // (330 - 307) / 2
    EXPECT_EQ(three.Buttons[kButtonAnuluj].Left, 16 + 11 + 210);
}

TEST(LayoutMessageDialog, LongTextWrapsAtWordsWithin400Pixels) {
    std::string text =
        "Error - file C:\\Program Files\\Vokarion\\VokarEn.exe could not be found in the program "
        "directory, so it was neither checked nor updated; start the update again when it is back.";
    const MessageDialogLayout layout = LayoutMessageDialog(text, kDialogOk, kMeasure);
    ExpectDesignRules(layout);
    ASSERT_GT(layout.LabelLines.size(), 1u);
    EXPECT_LE(layout.Label.Width, 400);
    EXPECT_GT(layout.Label.Width, 400 - 12 * kCharacter);  // filled up to the last word that fits
    EXPECT_LE(layout.ClientWidth, 432);
    EXPECT_EQ(Joined(layout.LabelLines, " "), text);  // broken only at single spaces, nothing lost
    for (const ByteString& line : layout.LabelLines) {
        EXPECT_FALSE(line.empty());
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
    }
}

TEST(LayoutMessageDialog, GivesEachPartOfABrokenTextItsOwnLine) {
    const MessageDialogLayout layout = LayoutMessageDialog("First line\r\nSecond\r\n\r\nLast", kDialogYesNo, kMeasure);
    ExpectDesignRules(layout);
    EXPECT_EQ(layout.LabelLines, (std::vector<ByteString>{"First line", "Second", "", "Last"}));
    EXPECT_EQ(layout.Label.Height, 4 * 13);
    EXPECT_EQ(layout.Label.Width, 202);

    const MessageDialogLayout wide = LayoutMessageDialog(std::string(40, 'a') + "\r\nb", kDialogOk, kMeasure);
    EXPECT_EQ(wide.Label.Width, 240);  // the longest line, not the whole text
    EXPECT_EQ(WrapText("a\nb\rc\r\n", 400, kMeasure), (std::vector<ByteString>{"a", "b", "c", ""}));
}

TEST(LayoutMessageDialog, CutsAWordWiderThanTheLabel) {
    const std::string path = "C:\\" + std::string(120, 'p') + "\\VokarEn.exe";
    const MessageDialogLayout layout = LayoutMessageDialog("Missing: " + path, kDialogOk, kMeasure);
    ExpectDesignRules(layout);
    EXPECT_EQ(layout.Label.Width, 396);  // 66 characters
    ASSERT_EQ(layout.LabelLines.size(), 4u);
    EXPECT_EQ(layout.LabelLines[0], "Missing:");
    EXPECT_EQ(Joined(layout.LabelLines, "").substr(8), path);

    // A width below one character still moves on by a character per line.
    EXPECT_EQ(WrapText("abc", 3, kMeasure), (std::vector<ByteString>{"a", "b", "c"}));
}

TEST(LayoutMessageDialog, EmptyTextIsOneEmptyLine) {
    const MessageDialogLayout layout = LayoutMessageDialog("", kDialogOk, kMeasure);
    ExpectDesignRules(layout);
    EXPECT_EQ(layout.LabelLines, std::vector<ByteString>{""});
    EXPECT_EQ(layout.ClientWidth, 129);
    EXPECT_EQ(layout.ClientHeight, 76);
}

TEST(CentreOver, HalvesTowardZero) {
    EXPECT_EQ(CentreOver({100, 50, 600, 400}, 200, 101), (PixelPoint{300, 199}));
    EXPECT_EQ(CentreOver({-20, 10, 300, 300}, 301, 300), (PixelPoint{-20, 10}));
    EXPECT_EQ(CentreOver({0, 0, 100, 100}, 201, 203), (PixelPoint{-50, -51}));
}

}  // namespace
}  // namespace patcher

#pragma once

#include <array>
#include <cstdint>

#include "common/ByteString.h"
#include "platform/Font.h"

namespace patcher {

// The components of the main window, in creation order: every parent comes before its children, and the
// two push buttons come in their tab order.
enum class MainControl : int {
    Window,
    pnlMain,
    pnlTop,
    lblTytul,
    lblKrok,
    pnlIntro,
    lblMain,
    lblJezyk,
    btnPolski,
    btnAngielski,
    btnNiemiecki,
    btnFrancuski,
    pnlBottom,
    Bevel1,
    btnUpdate,
    btnZamknij,
};
inline constexpr int kMainControlCount = 16;

// The window class of the main window, by which test drivers and accessibility tools find it.
inline constexpr char kMainWindowClassName[] = "TfrmMainPatcher";

// The window system's identifier of each child control (its dialog control id): stable, so that a test
// driver or a screen reader script can find a control whatever its text.
inline constexpr int kFirstMainControlId = 100;
inline constexpr int MainControlId(MainControl control) noexcept {
    return kFirstMainControlId + static_cast<int>(control);
}

// The component's name in the form ("lblMain", "btnUpdate", ...; "Window" for the window itself), as test
// drivers and their reports call it.
const char* MainControlName(MainControl control) noexcept;

enum class ControlKind : std::uint8_t { Window, Panel, Label, FlagButton, Bevel, PushButton };

// The colours of the design, as system colours.
enum class DesignColour : std::uint8_t { ButtonFace, HighlightText };

struct DesignRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const DesignRect&) const = default;
};

// One component as the form's design lays it out, at 96 DPI, relative to its parent's client area.
struct ControlDesign {
    MainControl Control;
    MainControl Parent;  // the window for itself
    ControlKind Kind;
    DesignRect Bounds;
    DesignColour Colour;    // of its background; a label takes its parent's
    bool AutoSize = false;  // a label as wide as its text
    bool WordWrap = false;  // a label whose text wraps at its width and is cut below its height
    bool TabStop = false;
    bool DefaultButton = false;  // the button that Enter presses
};

inline constexpr int kDesignDpi = 96;
inline constexpr int kClientWidth = 505;
inline constexpr int kClientHeight = 355;

// The design of every component, indexed by MainControl.
extern const std::array<ControlDesign, kMainControlCount> MainWindowDesign;

const ControlDesign& DesignOf(MainControl control) noexcept;

// A length of the design (96 DPI) at the given DPI, rounded to the nearest pixel.
int ScaleToDpi(int designPixels, int dpi) noexcept;
DesignRect ScaleToDpi(const DesignRect& rect, int dpi) noexcept;

// The design fonts. Every other component shows its text in the window's font. Heights are character
// heights in pixels at 96 DPI.
FontDescription DesignWindowFont();           // "Arial", 11
FontDescription DesignTitleFont();            // lblTytul: "Arial", 12, bold
FontDescription DesignStepFont();             // lblKrok: "Arial", 12
FontDescription DesignLanguageCaptionFont();  // lblJezyk: "Arial", 11, character set 238

// The design's texts, as Windows-1250 bytes. The language caption and the open-file dialog's filter are
// never replaced; the others are until the window is shown.
ByteStringView DesignCaption(MainControl control) noexcept;
ByteStringView OpenDialogFilter() noexcept;  // "Pliki programów|*.exe", Polish in every language

// The name of each flag button's language, as its window text: it shows only its picture, but screen
// readers and test drivers read the name.
ByteStringView FlagButtonName(MainControl flagButton) noexcept;

}  // namespace patcher

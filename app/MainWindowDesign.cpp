#include "app/MainWindowDesign.h"

#include <cstdint>

namespace patcher {
namespace {

using C = MainControl;
using K = ControlKind;
constexpr DesignColour kFace = DesignColour::ButtonFace;

// The panels divide the client area: a title band on top, a button band at the bottom and the rest between.
// pnlIntro and pnlBottom keep their children inside a border of 12 and 3 pixels.
constexpr int kTopBandHeight = 53;
constexpr int kBottomBandHeight = 37;
constexpr int kIntroHeight = kClientHeight - kTopBandHeight - kBottomBandHeight;

constexpr std::uint8_t kCharsetDefault = 1;
constexpr std::uint8_t kCharsetEastEurope = 238;

}  // namespace

const std::array<ControlDesign, kMainControlCount> MainWindowDesign = {{
    {C::Window, C::Window, K::Window, {0, 0, kClientWidth, kClientHeight}, kFace},
    {C::pnlMain, C::Window, K::Panel, {0, 0, kClientWidth, kClientHeight}, kFace},
    {C::pnlTop, C::pnlMain, K::Panel, {0, 0, kClientWidth, kTopBandHeight}, DesignColour::HighlightText},
    {C::lblTytul, C::pnlTop, K::Label, {8, 8, 489, 15}, kFace},
    {C::lblKrok, C::pnlTop, K::Label, {20, 28, 94, 15}, kFace, true},
    {C::pnlIntro, C::pnlMain, K::Panel, {0, kTopBandHeight, kClientWidth, kIntroHeight}, kFace},
    {C::lblMain, C::pnlIntro, K::Label, {12, 12, kClientWidth - 24, 213}, kFace, false, true},
    {C::lblJezyk, C::pnlIntro, K::Label, {12, 240, 183, 14}, kFace, true},
    {C::btnPolski, C::pnlIntro, K::FlagButton, {200, 236, 38, 24}, kFace},
    {C::btnAngielski, C::pnlIntro, K::FlagButton, {238, 236, 38, 24}, kFace},
    {C::btnNiemiecki, C::pnlIntro, K::FlagButton, {276, 236, 38, 24}, kFace},
    {C::btnFrancuski, C::pnlIntro, K::FlagButton, {314, 236, 38, 24}, kFace},
    {C::pnlBottom,
     C::pnlMain,
     K::Panel,
     {0, kClientHeight - kBottomBandHeight, kClientWidth, kBottomBandHeight},
     kFace},
    {C::Bevel1, C::pnlBottom, K::Bevel, {3, 3, kClientWidth - 6, 8}, kFace},
    {C::btnUpdate, C::pnlBottom, K::PushButton, {5, 10, 100, 25}, kFace, false, false, true, true},
    {C::btnZamknij, C::pnlBottom, K::PushButton, {403, 10, 100, 25}, kFace, false, false, true},
}};

const ControlDesign& DesignOf(MainControl control) noexcept {
    return MainWindowDesign[static_cast<std::size_t>(control)];
}

const char* MainControlName(MainControl control) noexcept {
    static constexpr std::array<const char*, kMainControlCount> kNames = {
        "Window",    "pnlMain",      "pnlTop",       "lblTytul",     "lblKrok",   "pnlIntro", "lblMain",   "lblJezyk",
        "btnPolski", "btnAngielski", "btnNiemiecki", "btnFrancuski", "pnlBottom", "Bevel1",   "btnUpdate", "btnZamknij",
    };
    const auto index = static_cast<std::size_t>(control);
    return index < kNames.size() ? kNames[index] : "";
}

int ScaleToDpi(int designPixels, int dpi) noexcept {
    // Rounded half away from zero, as the window system scales.
    const long long scaled = static_cast<long long>(designPixels) * dpi;
    const long long half = kDesignDpi / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kDesignDpi : -((-scaled + half) / kDesignDpi));
}

DesignRect ScaleToDpi(const DesignRect& rect, int dpi) noexcept {
    return {ScaleToDpi(rect.Left, dpi), ScaleToDpi(rect.Top, dpi), ScaleToDpi(rect.Width, dpi),
            ScaleToDpi(rect.Height, dpi)};
}

FontDescription DesignWindowFont() {
    return FontDescription("Arial", 11, kCharsetDefault);
}

FontDescription DesignTitleFont() {
    return FontDescription("Arial", 12, kCharsetDefault, true);
}

FontDescription DesignStepFont() {
    return FontDescription("Arial", 12, kCharsetDefault);
}

FontDescription DesignLanguageCaptionFont() {
    return FontDescription("Arial", 11, kCharsetEastEurope);
}

// This file is stored in Windows-1250 by the build.
ByteStringView DesignCaption(MainControl control) noexcept {
    switch (control) {
        case C::Window:
            return "Instalator";
        case C::lblTytul:
            return "Vokarion - Uaktualnienie";
        case C::lblKrok:
            return "Krok 1 z 6: Wstęp";
        case C::lblJezyk:
            return "Język / Language / Sprache / Langue:";
        case C::btnUpdate:
            return "Uaktualnij";
        case C::btnZamknij:
            return "Zakończ";
        case C::btnPolski:
        case C::btnAngielski:
        case C::btnNiemiecki:
        case C::btnFrancuski:
            return FlagButtonName(control);
        default:
            return {};
    }
}

ByteStringView OpenDialogFilter() noexcept {
    return "Pliki programów|*.exe";
}

ByteStringView FlagButtonName(MainControl flagButton) noexcept {
    switch (flagButton) {
        case C::btnPolski:
            return "Polski";
        case C::btnAngielski:
            return "English";
        case C::btnNiemiecki:
            return "Deutsch";
        case C::btnFrancuski:
            return "Français";
        default:
            return {};
    }
}

}  // namespace patcher

#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace patcher {

// The size of one line of text as a static control draws it in the font. Throws PlatformError.
SIZE MeasureLine(HFONT font, const std::wstring& text);

// A label's colours (WM_CTLCOLORSTATIC): the window's text on its parent's colour, the title band's
// (COLOR_HIGHLIGHTTEXT) or the window's (COLOR_BTNFACE). Answers the brush to paint its background with.
LRESULT PaintLabelColours(HDC dc, int parentColour);

// The bevel (an owner-drawn static control): an etched line along its top edge.
void DrawBevel(const DRAWITEMSTRUCT& item);

// A flag button drawn flat, as a speed button is (NM_CUSTOMDRAW before painting): the face with the picture,
// a thin raised edge under the mouse, a thin sunken edge and the picture a pixel lower right while pressed.
// Answers what the custom draw answers; without a picture the button draws itself, with its text.
LRESULT DrawFlatFlagButton(const NMCUSTOMDRAW& draw, HBITMAP glyph);

}  // namespace patcher

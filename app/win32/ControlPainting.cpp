#include "app/win32/ControlPainting.h"

#include "platform/PlatformError.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

// Selects a GDI object into a device context for the object's life, and puts the previous one back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { ::SelectObject(dc_, previous_); }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace

SIZE MeasureLine(HFONT font, const std::wstring& text) {
    const win32::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) {
        throw PlatformError("CreateCompatibleDC", ::GetLastError());
    }
    const Selection selection(dc.Get(), font);
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.data(), static_cast<int>(text.size()), &bounds,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
    if (text.empty()) {
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc.Get(), &metrics);
        return SIZE{0, metrics.tmHeight};
    }
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

LRESULT PaintLabelColours(HDC dc, int parentColour) {
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkColor(dc, ::GetSysColor(parentColour));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(parentColour));
}

void DrawBevel(const DRAWITEMSTRUCT& item) {
    RECT bounds = item.rcItem;
    ::FillRect(item.hDC, &bounds, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(item.hDC, &bounds, EDGE_ETCHED, BF_TOP);
}

// Buttons in the system's visual style ignore BS_FLAT, so the flags are drawn here; without the visual style
// nothing asks here, and BS_FLAT then does it.
LRESULT DrawFlatFlagButton(const NMCUSTOMDRAW& draw, HBITMAP glyph) {
    if (draw.dwDrawStage != CDDS_PREPAINT || glyph == nullptr) {
        return CDRF_DODEFAULT;
    }
    RECT bounds = draw.rc;
    ::FillRect(draw.hdc, &bounds, ::GetSysColorBrush(COLOR_BTNFACE));
    const bool down =
        ::SendMessageW(draw.hdr.hwndFrom, BM_GETCHECK, 0, 0) == BST_CHECKED || (draw.uItemState & CDIS_SELECTED) != 0;
    if (down) {
        ::DrawEdge(draw.hdc, &bounds, BDR_SUNKENOUTER, BF_RECT);
    } else if ((draw.uItemState & CDIS_HOT) != 0) {
        ::DrawEdge(draw.hdc, &bounds, BDR_RAISEDINNER, BF_RECT);
    }
    BITMAP picture{};
    ::GetObjectW(glyph, sizeof(picture), &picture);
    const win32::UniqueMemoryDc source(::CreateCompatibleDC(draw.hdc));
    if (source) {
        const Selection selection(source.Get(), glyph);
        const int shift = down ? 1 : 0;
        ::BitBlt(draw.hdc, (draw.rc.left + draw.rc.right - picture.bmWidth) / 2 + shift,
                 (draw.rc.top + draw.rc.bottom - picture.bmHeight) / 2 + shift, picture.bmWidth, picture.bmHeight,
                 source.Get(), 0, 0, SRCCOPY);
    }
    return CDRF_SKIPDEFAULT;
}

}  // namespace patcher

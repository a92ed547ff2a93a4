#include "app/win32/FlagBitmaps.h"

#include <cstdint>
#include <span>
#include <stdexcept>

#include "platform/PlatformError.h"

namespace patcher {
namespace {

// 0xRRGGBB, as the pictures hold their colours.
std::uint32_t SystemColourRgb(int index) {
    const COLORREF colour = ::GetSysColor(index);
    return static_cast<std::uint32_t>(GetRValue(colour)) << 16 | static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
           GetBValue(colour);
}

win32::UniqueBitmap CreateBitmap(const GlyphImage& image) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.Width;
    info.bmiHeader.biHeight = -image.Height;  // rows from the top, as the image holds them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;  // no alpha channel for the button to interpret
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) {
        throw PlatformError("CreateDIBSection", ::GetLastError());
    }
    const std::size_t stride = (static_cast<std::size_t>(image.Width) * 3 + 3) / 4 * 4;
    auto* rows = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < image.Height; ++y) {
        std::uint8_t* pixel = rows + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < image.Width; ++x) {
            const std::uint32_t rgb = image.At(x, y);
            *pixel++ = static_cast<std::uint8_t>(rgb);
            *pixel++ = static_cast<std::uint8_t>(rgb >> 8);
            *pixel++ = static_cast<std::uint8_t>(rgb >> 16);
        }
    }
    return bitmap;
}

}  // namespace

std::optional<GlyphImage> LoadFlagGlyph(MainControl flagButton) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const ByteString name(FlagGlyphResourceName(flagButton));
    const HRSRC found = ::FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (found == nullptr) {
        return std::nullopt;
    }
    const DWORD size = ::SizeofResource(module, found);
    const win32::UniqueResourceHandle loaded(::LoadResource(module, found));
    const void* bytes = loaded ? ::LockResource(loaded.Get()) : nullptr;
    if (bytes == nullptr || size == 0) {
        return std::nullopt;
    }
    try {
        return ReadGlyph(std::span(static_cast<const std::uint8_t*>(bytes), size));
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

win32::UniqueBitmap CreateFlagBitmap(const GlyphImage& glyph, int dpi) {
    return CreateBitmap(ComposeGlyph(glyph, SystemColourRgb(COLOR_BTNFACE), ScaleToDpi(kGlyphWidth, dpi),
                                     ScaleToDpi(kGlyphHeight, dpi)));
}

}  // namespace patcher

#pragma once

#include <cstdint>

#include "common/ByteString.h"

namespace patcher {

// What the language rules change on a font that shows catalogue text: the face and the character set.
// Size, colour and style belong to whoever owns the font and stay as they are.
class Font {
  public:
    virtual ~Font() = default;

    virtual void SetFaceName(ByteStringView faceName) = 0;
    // A Windows character set number (0 ANSI, 204 Russian, 238 East European, ...).
    virtual void SetCharset(std::uint8_t charset) = 0;
};

// A font kept as plain settings; a window turns it into a system font when it draws with it.
class FontDescription final : public Font {
  public:
    // Height is the character height in pixels, as a window's design gives it.
    FontDescription(ByteStringView faceName, int height, std::uint8_t charset, bool bold = false)
        : faceName_(faceName), height_(height), charset_(charset), bold_(bold) {}

    void SetFaceName(ByteStringView faceName) override { faceName_ = faceName; }
    void SetCharset(std::uint8_t charset) override { charset_ = charset; }

    const ByteString& FaceName() const noexcept { return faceName_; }
    int Height() const noexcept { return height_; }
    std::uint8_t Charset() const noexcept { return charset_; }
    bool Bold() const noexcept { return bold_; }

    bool operator==(const FontDescription& other) const {
        return faceName_ == other.faceName_ && height_ == other.height_ && charset_ == other.charset_ &&
               bold_ == other.bold_;
    }

  private:
    ByteString faceName_;
    int height_;
    std::uint8_t charset_;
    bool bold_;
};

}  // namespace patcher

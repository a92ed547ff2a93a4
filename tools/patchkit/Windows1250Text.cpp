#include "tools/patchkit/Windows1250Text.h"

#include <cstdio>

#include "common/Windows1250.h"

namespace patcher::patchkit {
namespace {

std::string CodePoint(char32_t character) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(character));
    return text;
}

// The character that starts at `at`, and how many bytes it takes; throws for bytes that are not UTF-8 (an
// overlong form, a surrogate, a sequence cut short).
char32_t NextCharacter(std::string_view utf8, std::size_t at, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
    const unsigned char lead = byte(at);
    char32_t character = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        character = lead & 0x1Fu;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        character = lead & 0x0Fu;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        character = lead & 0x07u;
        least = 0x10000;
    } else {
        throw NotWindows1250("holds bytes that are not UTF-8");
    }
    if (utf8.size() - at < length) {
        throw NotWindows1250("holds bytes that are not UTF-8");
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            throw NotWindows1250("holds bytes that are not UTF-8");
        }
        character = character << 6 | (byte(at + i) & 0x3Fu);
    }
    if (character < least || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) {
        throw NotWindows1250("holds bytes that are not UTF-8");
    }
    return character;
}

}  // namespace

ByteString Windows1250FromUtf8(std::string_view utf8) {
    ByteString out;
    std::size_t length = 0;
    for (std::size_t at = 0; at < utf8.size(); at += length) {
        const char32_t character = NextCharacter(utf8, at, length);
        const int byte = Windows1250Of(character);
        if (byte < 0) {
            throw NotWindows1250("holds \"" + std::string(utf8.substr(at, length)) + "\" (" + CodePoint(character) +
                                 "), which Windows-1250 has no letter for");
        }
        out += static_cast<char>(byte);
    }
    return out;
}

char16_t Utf16OfWindows1250Byte(char byte) {
    const char16_t unit = Utf16OfWindows1250(static_cast<std::uint8_t>(byte));
    if (unit == 0 && byte != 0) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(byte)));
        throw NotWindows1250(std::string("holds the byte ") + hex + ", which is no Windows-1250 character");
    }
    return unit;
}

std::string Utf8FromWindows1250(ByteStringView text) {
    std::string out;
    for (const char byte : text) {
        const char16_t unit = Utf16OfWindows1250Byte(byte);
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | unit >> 6);
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | unit >> 12);
            out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

}  // namespace patcher::patchkit

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/LocalClock.h"

namespace patcher {

// The log's text, composed into a std::string or, for what a failing program says last, into a LogLineBuffer
// that allocates nothing: both take append(const char*, size) and push_back(char).

// A line of fixed room on the stack; what does not fit is cut off.
class LogLineBuffer {
  public:
    static constexpr std::size_t kRoom = 1024;

    void append(const char* text, std::size_t size) noexcept {
        for (std::size_t i = 0; i < size && size_ < kRoom; ++i) {
            bytes_[size_++] = text[i];
        }
    }
    void append(std::string_view text) noexcept { append(text.data(), text.size()); }
    void push_back(char c) noexcept { append(&c, 1); }
    std::string_view View() const noexcept { return {bytes_, size_}; }

  private:
    char bytes_[kRoom];
    std::size_t size_ = 0;
};

// The last `count` digits of the value in the base (10 or 16), with leading zeros, in capitals.
template <typename Text>
void AppendDigits(Text& out, unsigned long value, int count, unsigned base = 10) {
    char digits[32];
    const int shown = count < 32 ? count : 32;
    for (int i = shown - 1; i >= 0; --i, value /= base) {
        digits[i] = "0123456789ABCDEF"[value % base];
    }
    out.append(digits, static_cast<std::size_t>(shown));
}

// "2026-12-08 14:05:31.042 +01:00": the local time and its offset from UTC, so that logs of machines in
// several time zones sort on one share, and the hour that autumn repeats is told apart.
template <typename Text>
void AppendTimeStamp(Text& out, const LocalTime& time) {
    const auto u = [](int value) { return static_cast<unsigned long>(value < 0 ? 0 : value); };
    AppendDigits(out, u(time.Year), 4);
    out.push_back('-');
    AppendDigits(out, u(time.Month), 2);
    out.push_back('-');
    AppendDigits(out, u(time.Day), 2);
    out.push_back(' ');
    AppendDigits(out, u(time.Hour), 2);
    out.push_back(':');
    AppendDigits(out, u(time.Minute), 2);
    out.push_back(':');
    AppendDigits(out, u(time.Second), 2);
    out.push_back('.');
    AppendDigits(out, u(time.Millisecond), 3);
    out.push_back(' ');
    out.push_back(time.UtcOffsetMinutes < 0 ? '-' : '+');
    const int offset = time.UtcOffsetMinutes < 0 ? -time.UtcOffsetMinutes : time.UtcOffsetMinutes;
    AppendDigits(out, u(offset / 60), 2);
    out.push_back(':');
    AppendDigits(out, u(offset % 60), 2);
}

// The text with every control character (C0, DEL, C1) and line or paragraph separator written as a visible
// escape ("<CR>", "<LF>", "<TAB>", "<U+001B>", "<U+2028>"), so that no text can make a line of its own. UTF-8
// in and out.
template <typename Text>
void AppendEscaped(Text& out, std::string_view utf8) {
    const auto escape = [&out](unsigned codePoint) {
        switch (codePoint) {
            case '\r':
                out.append("<CR>", 4);
                return;
            case '\n':
                out.append("<LF>", 4);
                return;
            case '\t':
                out.append("<TAB>", 5);
                return;
            default:
                out.append("<U+", 3);
                AppendDigits(out, codePoint, 4, 16);
                out.push_back('>');
        }
    };
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
        } else if (byte == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            // U+0080..U+009F, NEL among them, which some readers break lines at.
            escape(static_cast<unsigned char>(utf8[i + 1]));
            ++i;
        } else if (byte == 0xE2 && utf8.substr(i + 1, 2) == "\x80\xA8") {
            escape(0x2028);
            i += 2;
        } else if (byte == 0xE2 && utf8.substr(i + 1, 2) == "\x80\xA9") {
            escape(0x2029);
            i += 2;
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
}

// The same into a new string.
std::string EscapeControlCharacters(std::string_view utf8);

// The last `count` hexadecimal digits of the value, in capitals, with leading zeros ("0000001B").
std::string HexDigits(unsigned long value, int count);

// "2026-12-08 14:05:31.042 +01:00".
std::string LogTimeStamp(const LocalTime& time);

}  // namespace patcher

#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace patcher::e2e {

// Texts travel between the scenarios and the driver as hex bytes, so that no command line, code page or
// line ending can change a letter on the way.
inline std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// Throws std::invalid_argument for an odd length or a character that is no hex digit.
inline std::string FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        throw std::invalid_argument("odd hex text");
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

}  // namespace patcher::e2e

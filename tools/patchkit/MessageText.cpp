#include "tools/patchkit/MessageText.h"

#include <cstdio>
#include <cstring>

namespace patcher::patchkit {
namespace {

// A whole message is never longer than this; each piece of maintainer text in it is shortened already.
constexpr std::size_t kMessageBytes = 4096;

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (!IsControl(c)) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escape;
        }
    }
}

// Moves a cut back to the start of a UTF-8 sequence, so that a shortened name never ends in half a letter.
std::size_t CharacterStart(std::string_view text, std::size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        --at;
    }
    return at;
}

}  // namespace

std::string Shown(std::string_view text) {
    std::string out;
    if (text.size() <= kShownBytes) {
        AppendEscaped(out, text);
        return out;
    }
    const std::size_t keep = kShownBytes / 2;
    AppendEscaped(out, text.substr(0, CharacterStart(text, keep)));
    out += "...";
    AppendEscaped(out, text.substr(CharacterStart(text, text.size() - keep)));
    out += " (" + std::to_string(text.size()) + " bytes)";
    return out;
}

std::string Quoted(std::string_view text) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a literal plus a string.
    std::string out(1, '"');
    out += Shown(text);
    out += '"';
    return out;
}

std::string OneLine(std::string_view message) {
    std::string out;
    AppendEscaped(out, message.substr(0, kMessageBytes));
    if (message.size() > kMessageBytes) {
        out += "...";
    }
    return out;
}

std::string Reason(int error) {
    return std::strerror(error);
}

}  // namespace patcher::patchkit

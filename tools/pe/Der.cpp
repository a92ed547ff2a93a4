#include "tools/pe/Der.h"

#include <string>

#include "tools/pe/PeErrors.h"
#include "tools/pe/Utf8Text.h"

namespace patcher::pe {
namespace {

[[noreturn]] void Broken(const std::string& what) {
    throw BrokenSignature(what);
}

constexpr char32_t kReplacement = 0xFFFD;

// The UTF-8 of a UTF8String, checked: a byte that does not continue a well-formed character becomes U+FFFD,
// so that the name printed is always well-formed UTF-8.
std::string CheckedUtf8(std::span<const std::uint8_t> bytes) {
    std::string text;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::uint8_t lead = bytes[at];
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 0;
        if (length == 0 || bytes.size() - at < length) {
            AppendUtf8(text, kReplacement);
            ++at;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool continued = true;
        for (std::size_t i = 1; i < length; ++i) {
            continued = continued && (bytes[at + i] & 0xC0) == 0x80;
            c = c << 6 | (bytes[at + i] & 0x3F);
        }
        constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!continued || c < kShortest[length]) {
            AppendUtf8(text, kReplacement);
            ++at;
            continue;
        }
        AppendUtf8(text, c);
        at += length;
    }
    return text;
}

}  // namespace

DerElement DerReader::Read() {
    if (rest_.size() < 2) {
        Broken("an element is cut short");
    }
    const std::uint8_t tag = rest_[0];
    if ((tag & 0x1F) == 0x1F) {
        Broken("a tag of more than one byte");
    }
    std::size_t header = 2;
    std::size_t length = rest_[1];
    if (length == 0x80) {
        Broken("an indefinite length, which DER does not allow");
    }
    if (length > 0x80) {
        const std::size_t bytes = length & 0x7F;
        if (bytes > 4) {
            Broken("a length of more than four bytes");
        }
        if (rest_.size() - header < bytes) {
            Broken("a length is cut short");
        }
        length = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            length = length << 8 | rest_[header + i];
        }
        header += bytes;
    }
    if (rest_.size() - header < length) {
        Broken("an element is longer than the bytes around it");
    }
    DerElement element{tag, rest_.subspan(header, length), rest_.first(header + length)};
    rest_ = rest_.subspan(header + length);
    return element;
}

DerElement DerReader::Read(std::uint8_t tag, const char* what) {
    if (rest_.empty() || rest_[0] != tag) {
        Broken(std::string("no ") + what + " where it belongs");
    }
    return Read();
}

std::optional<DerElement> DerReader::ReadIf(std::uint8_t tag) {
    if (rest_.empty() || rest_[0] != tag) {
        return std::nullopt;
    }
    return Read();
}

std::string OidText(std::span<const std::uint8_t> content) {
    if (content.empty() || (content.back() & 0x80) != 0) {
        Broken("an object identifier without an end");
    }
    std::string text;
    std::uint64_t value = 0;
    bool first = true;
    for (const std::uint8_t byte : content) {
        if (value > (UINT64_MAX >> 7)) {
            Broken("an object identifier with a number too large");
        }
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) != 0) {
            continue;
        }
        // The first number holds the first two: 40 times the first (0, 1 or 2) plus the second.
        if (first) {
            const std::uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            text += std::to_string(top);
            value -= 40 * top;
            first = false;
        }
        text += '.';
        text += std::to_string(value);
        value = 0;
    }
    return text;
}

std::string DirectoryString(const DerElement& element) {
    const std::span<const std::uint8_t> bytes = element.Content;
    std::string text;
    switch (element.Tag) {
        case der::kUtf8String:
        case der::kPrintableString:
        case der::kIa5String:
            return CheckedUtf8(bytes);
        case der::kTeletexString:
            for (const std::uint8_t byte : bytes) {
                AppendUtf8(text, byte);
            }
            return text;
        case der::kBmpString: {
            std::u16string units;
            for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
                units += static_cast<char16_t>(bytes[at] << 8 | bytes[at + 1]);
            }
            return Utf8FromUtf16(units);
        }
        case der::kUniversalString:
            for (std::size_t at = 0; at + 3 < bytes.size(); at += 4) {
                AppendUtf8(text, static_cast<char32_t>(bytes[at]) << 24 | static_cast<char32_t>(bytes[at + 1]) << 16 |
                                     static_cast<char32_t>(bytes[at + 2]) << 8 | bytes[at + 3]);
            }
            return text;
        default:
            Broken("a name of an unknown string type");
    }
}

}  // namespace patcher::pe

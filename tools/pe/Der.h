#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace patcher::pe {

// DER (ASN.1's distinguished encoding), as far as a signature's PKCS#7 data and certificates need it: each
// element a tag, a length and that many bytes of content. Only one-byte tags and definite lengths of up to
// four bytes are read; anything else (and BER's indefinite lengths) throws BrokenSignature.
namespace der {
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kOid = 0x06;
inline constexpr std::uint8_t kUtf8String = 0x0C;
inline constexpr std::uint8_t kPrintableString = 0x13;
inline constexpr std::uint8_t kTeletexString = 0x14;
inline constexpr std::uint8_t kIa5String = 0x16;
inline constexpr std::uint8_t kUniversalString = 0x1C;
inline constexpr std::uint8_t kBmpString = 0x1E;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;

// [n] of a constructed element, as EXPLICIT tags and IMPLICIT sets and sequences are written.
constexpr std::uint8_t Context(int n) {
    return static_cast<std::uint8_t>(0xA0 | n);
}
}  // namespace der

// One element: its tag, its content, and all of its bytes (tag and length included).
struct DerElement {
    std::uint8_t Tag = 0;
    std::span<const std::uint8_t> Content;
    std::span<const std::uint8_t> Whole;
};

// The elements of a span, one after another; every length is checked against the bytes left, so that
// nothing is read outside the span.
class DerReader {
  public:
    explicit DerReader(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
    // The elements inside a constructed element.
    explicit DerReader(const DerElement& outer) : rest_(outer.Content) {}

    bool AtEnd() const noexcept { return rest_.empty(); }

    // The next element, whatever its tag.
    DerElement Read();
    // The next element, which must carry `tag`; `what` names it in the refusal.
    DerElement Read(std::uint8_t tag, const char* what);
    // The next element where it carries `tag`; otherwise nothing is read.
    std::optional<DerElement> ReadIf(std::uint8_t tag);

  private:
    std::span<const std::uint8_t> rest_;
};

// An object identifier's content in dotted numbers ("1.3.14.3.2.26"), for messages. Throws BrokenSignature
// for content that is no identifier.
std::string OidText(std::span<const std::uint8_t> content);

// A directory string (of a certificate's names) as UTF-8: UTF8String, PrintableString and IA5String as they
// are, TeletexString as Latin-1, BMPString and UniversalString from UTF-16 and UTF-32. A character that
// cannot be read becomes U+FFFD. Throws BrokenSignature for any other tag.
std::string DirectoryString(const DerElement& element);

}  // namespace patcher::pe

#pragma once

#include <cstdint>

#include "common/ByteString.h"

namespace patcher {

// The product family's string scrambler, used for the registry record of the installation directory.
//
// A call names a method (1..10) and a key row (1..6): methods 1..3 shift every byte from 30 up by a
// position-keyed amount, keeping the length; methods 4..6 XOR every byte with a position key and a check
// byte that ends the result, escaping bytes 0..32 and 64 so that the result is safe as a registry string;
// methods 7..10 leave the text as it is. For every valid method and key, Decode(Encode(s)) == s.
//
// The class has no state; Kod is its one instance.
class TKod {
  public:
    // The scrambled form of text. An empty text, a method outside 1..10 or a key outside 1..6 give the text
    // back unchanged, and so does any failure inside: the entry points never fail towards a caller.
    ByteString Encode(ByteStringView text, std::int32_t MethodNo, std::int32_t KeyNo) const;
    // The plain form of a scrambled text, on the same terms as Encode.
    ByteString Decode(ByteStringView text, std::int32_t MethodNo, std::int32_t KeyNo) const;

    // lo <= v <= hi, as signed numbers.
    static bool InRange(std::int32_t v, std::int32_t lo, std::int32_t hi) { return lo <= v && v <= hi; }

  private:
    static ByteString ShiftEncode(ByteStringView text, std::uint8_t method, std::uint8_t key);
    static ByteString ShiftDecode(ByteStringView text, std::uint8_t method, std::uint8_t key);
    static ByteString XorEncode(ByteStringView text, std::uint8_t method, std::uint8_t key);
    static ByteString XorDecode(ByteStringView text, std::uint8_t method, std::uint8_t key);
};

extern const TKod Kod;

}  // namespace patcher

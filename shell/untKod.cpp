#include "shell/untKod.h"

#include <exception>

#include "shell/KodKeyTables.h"

namespace patcher {
namespace {

// Shift methods move bytes 30..255 within that range of 226 values; bytes below 30 pass unchanged.
constexpr int kLowestShifted = 30;
constexpr int kShiftAlphabet = 226;

// XOR methods: the check byte starts from 10; bytes 0..32 and the at sign are never written bare but as the
// at sign followed by the byte plus 70.
constexpr std::uint8_t kInitialCheck = 10;
constexpr std::uint8_t kEscape = 64;
constexpr std::uint8_t kEscapeOffset = 70;

bool IsReserved(std::uint8_t byte) {
    return byte <= 32 || byte == kEscape;
}

// Checked: a position outside the table is a failure, which the entry points absorb.
std::uint8_t KeyAt(const std::array<std::uint8_t, kKeyTableSize>& table,
                   std::uint8_t method,
                   std::uint8_t key,
                   std::size_t position) {
    return table.at((method - 1u) * 60u + (key - 1u) * 10u + position);
}

}  // namespace

const TKod Kod{};

namespace {

using Method = ByteString (*)(ByteStringView, std::uint8_t, std::uint8_t);

// Both entry points: the same checks, the shift or XOR method of their direction, and the unchanged text
// for anything else or any failure.
ByteString Scramble(ByteStringView text, std::int32_t MethodNo, std::int32_t KeyNo, Method shift, Method xorMethod) {
    if (text.empty() || !TKod::InRange(MethodNo, 1, 10) || !TKod::InRange(KeyNo, 1, 6)) {
        return ByteString(text);
    }
    const auto method = static_cast<std::uint8_t>(MethodNo);
    const auto key = static_cast<std::uint8_t>(KeyNo);
    try {
        if (MethodNo <= 3) {
            return shift(text, method, key);
        }
        if (MethodNo <= 6) {
            return xorMethod(text, method, key);
        }
    } catch (const std::exception&) {
        // Falls through to the unchanged text.
    }
    return ByteString(text);
}

}  // namespace

ByteString TKod::Encode(ByteStringView text, std::int32_t MethodNo, std::int32_t KeyNo) const {
    return Scramble(text, MethodNo, KeyNo, ShiftEncode, XorEncode);
}

ByteString TKod::Decode(ByteStringView text, std::int32_t MethodNo, std::int32_t KeyNo) const {
    return Scramble(text, MethodNo, KeyNo, ShiftDecode, XorDecode);
}

// The key position depends on the length as well as on the position, so both directions, which see the same
// length, agree on it.
ByteString TKod::ShiftEncode(ByteStringView text, std::uint8_t method, std::uint8_t key) {
    ByteString result(text);
    const std::size_t lengthShift = text.size() % 10;
    for (std::size_t i = 1; i <= result.size(); ++i) {
        const int c = static_cast<std::uint8_t>(result[i - 1]);
        if (c < kLowestShifted) {
            continue;
        }
        int t = c + KeyAt(ShiftKeyTable, method, key, (lengthShift + i) % 10);
        if (t > 255) {
            t -= kShiftAlphabet;
        }
        result[i - 1] = static_cast<char>(t);
    }
    return result;
}

ByteString TKod::ShiftDecode(ByteStringView text, std::uint8_t method, std::uint8_t key) {
    ByteString result(text);
    const std::size_t lengthShift = text.size() % 10;
    for (std::size_t i = 1; i <= result.size(); ++i) {
        const int c = static_cast<std::uint8_t>(result[i - 1]);
        if (c < kLowestShifted) {
            continue;
        }
        int t = c - KeyAt(ShiftKeyTable, method, key, (lengthShift + i) % 10);
        if (t < kLowestShifted) {
            t += kShiftAlphabet;
        }
        result[i - 1] = static_cast<char>(t);
    }
    return result;
}

ByteString TKod::XorEncode(ByteStringView text, std::uint8_t method, std::uint8_t key) {
    std::uint8_t check = kInitialCheck;
    for (const char c : text) {
        check ^= static_cast<std::uint8_t>(c);
    }
    if (IsReserved(check)) {
        check = static_cast<std::uint8_t>(check + kEscapeOffset);
    }
    ByteString result;
    result.reserve(2 * text.size() + 1);
    for (std::size_t j = 1; j <= text.size(); ++j) {
        const auto t = static_cast<std::uint8_t>(KeyAt(XorKeyTable, method, key, j % 10) ^ check ^
                                                 static_cast<std::uint8_t>(text[j - 1]));
        if (IsReserved(t)) {
            result.push_back(static_cast<char>(kEscape));
            result.push_back(static_cast<char>(t + kEscapeOffset));
        } else {
            result.push_back(static_cast<char>(t));
        }
    }
    result.push_back(static_cast<char>(check));
    return result;
}

// The last byte is the mask that XorEncode used; it is not compared with anything. An escape may take the
// check byte itself as its escaped byte in a damaged text: the walk still never leaves the text.
ByteString TKod::XorDecode(ByteStringView text, std::uint8_t method, std::uint8_t key) {
    const std::size_t n = text.size();
    const auto check = static_cast<std::uint8_t>(text[n - 1]);
    ByteString result;
    result.reserve(n);
    std::size_t output = 1;
    for (std::size_t j = 1; j + 1 <= n; ++j) {
        auto c = static_cast<std::uint8_t>(text[j - 1]);
        if (c == kEscape) {
            ++j;
            c = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[j - 1]) - kEscapeOffset);
        }
        result.push_back(static_cast<char>(c ^ KeyAt(XorKeyTable, method, key, output % 10) ^ check));
        ++output;
    }
    return result;
}

}  // namespace patcher

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "shell/untKod.h"
#include "tools/patchkit/Commands.h"

namespace patcher::patchkit {
namespace {

// The scrambler's methods and key rows (shell/untKod.h).
constexpr std::int32_t kFirstMethod = 1;
constexpr std::int32_t kLastMethod = 10;
constexpr std::int32_t kFirstKey = 1;
constexpr std::int32_t kLastKey = 6;

// A number of the scrambler's range as the maintainer writes it: decimal digits alone, without a sign, a
// blank or a leading zero, so that every number has one way to be written.
std::int32_t ParseInRange(const std::string& text, const char* what, std::int32_t low, std::int32_t high) {
    const bool digits = !text.empty() && text.size() <= 9 && (text.size() == 1 || text[0] != '0') &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::int32_t value = digits ? std::stoi(text) : 0;
    if (!digits || value < low || value > high) {
        throw UsageError{std::string(what) + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", without leading zeros"};
    }
    return value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

ByteString ParseHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        throw UsageError{"HEX must have an even number of digits"};
    }
    ByteString bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            throw UsageError{"HEX may hold only the digits 0-9 and a-f"};
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

}  // namespace

// The scrambler as the product family uses it, for checking a registry record by hand. Text goes in and out
// as hex, since scrambled text is rarely printable. A method or key outside the scrambler's range is refused:
// the scrambler would give the text back unchanged, which reads as a scrambled record that is not one.
int RunScramble(const Arguments& arguments) {
    if (arguments.size() != 4 || (arguments[0] != "encode" && arguments[0] != "decode")) {
        throw UsageError{"takes encode or decode, a method, a key and the text in hex"};
    }
    const std::int32_t method = ParseInRange(arguments[1], "METHOD", kFirstMethod, kLastMethod);
    const std::int32_t key = ParseInRange(arguments[2], "KEY", kFirstKey, kLastKey);
    const ByteString text = ParseHex(arguments[3]);
    const ByteString result = arguments[0] == "encode" ? Kod.Encode(text, method, key) : Kod.Decode(text, method, key);
    for (const char c : result) {
        std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    }
    std::printf("\n");
    return 0;
}

}  // namespace patcher::patchkit

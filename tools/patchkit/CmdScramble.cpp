#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

#include "shell/untKod.h"
#include "tools/patchkit/Commands.h"

namespace patcher::patchkit {
namespace {

std::int32_t ParseNumber(const std::string& text, const char* what) {
    std::size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw UsageError{std::string(what) + " must be a whole number"};
    }
    return static_cast<std::int32_t>(value);
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
// as hex, since scrambled text is rarely printable. Numbers outside the scrambler's range are passed on: the
// scrambler then gives the text back, which is what the product would do with them.
int RunScramble(const Arguments& arguments) {
    if (arguments.size() != 4 || (arguments[0] != "encode" && arguments[0] != "decode")) {
        throw UsageError{"takes encode or decode, a method, a key and the text in hex"};
    }
    const std::int32_t method = ParseNumber(arguments[1], "METHOD");
    const std::int32_t key = ParseNumber(arguments[2], "KEY");
    const ByteString text = ParseHex(arguments[3]);
    const ByteString result = arguments[0] == "encode" ? Kod.Encode(text, method, key) : Kod.Decode(text, method, key);
    for (const char c : result) {
        std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    }
    std::printf("\n");
    return 0;
}

}  // namespace patcher::patchkit

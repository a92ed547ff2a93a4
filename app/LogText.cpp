#include "app/LogText.h"

namespace patcher {

std::string EscapeControlCharacters(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendEscaped(out, utf8);
    return out;
}

std::string HexDigits(unsigned long value, int count) {
    std::string text;
    AppendDigits(text, value, count, 16);
    return text;
}

std::string LogTimeStamp(const LocalTime& time) {
    std::string text;
    AppendTimeStamp(text, time);
    return text;
}

}  // namespace patcher

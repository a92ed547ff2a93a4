#include "lang/MessageFormat.h"

namespace patcher {

ByteString FormatText(ByteStringView pattern, std::span<const ByteStringView> arguments) {
    std::size_t resultSize = pattern.size();
    for (const ByteStringView argument : arguments) {
        resultSize += argument.size();
    }
    ByteString result;
    result.reserve(resultSize);

    auto nextArgument = arguments.begin();
    std::size_t position = 0;
    while (position < pattern.size()) {
        const std::size_t percent = pattern.find('%', position);
        if (percent == ByteStringView::npos || percent + 1 == pattern.size()) {
            result.append(pattern.substr(position));
            break;
        }
        result.append(pattern.substr(position, percent - position));
        const char kind = pattern[percent + 1];
        if (kind == 's') {
            if (nextArgument != arguments.end()) {
                result.append(*nextArgument++);
            }
        } else if (kind == '%') {
            result.push_back('%');
        } else {
            result.append(pattern.substr(percent, 2));
        }
        position = percent + 2;
    }
    return result;
}

}  // namespace patcher

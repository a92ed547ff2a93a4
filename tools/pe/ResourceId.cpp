#include "tools/pe/ResourceId.h"

#include <algorithm>
#include <cstdio>

namespace patcher::pe {
namespace {

char16_t FoldAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace

std::string ResourceId::Text() const {
    std::string text;
    if (Name.empty()) {
        text.push_back('#');
        text += std::to_string(Number);
        return text;
    }
    for (const char16_t c : Name) {
        if (c >= 0x20 && c < 0x7F) {
            text.push_back(static_cast<char>(c));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            text += escaped;
        }
    }
    return text;
}

// Resource compilers write names in capitals and the loader compares them so; a name beyond ASCII sorts by
// its units, which is what a loader that folds only ASCII letters expects.
bool TreeOrder(const ResourceId& left, const ResourceId& right) {
    if (left.IsName() != right.IsName()) {
        return left.IsName();
    }
    if (!left.IsName()) {
        return left.Number < right.Number;
    }
    const auto folded = [](char16_t a, char16_t b) { return FoldAscii(a) < FoldAscii(b); };
    if (std::lexicographical_compare(left.Name.begin(), left.Name.end(), right.Name.begin(), right.Name.end(),
                                     folded)) {
        return true;
    }
    if (std::lexicographical_compare(right.Name.begin(), right.Name.end(), left.Name.begin(), left.Name.end(),
                                     folded)) {
        return false;
    }
    return left.Name < right.Name;
}

}  // namespace patcher::pe

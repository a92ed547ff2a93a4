#pragma once

#include <initializer_list>
#include <span>

#include "common/ByteString.h"

namespace patcher {

// Replaces each "%s" of a catalogue text by the next argument, in order; "%%" gives one "%", and any other
// "%" stays as it is. Arguments are inserted literally: a "%" inside an argument is never expanded. A
// placeholder without an argument gives the empty string; arguments left over are ignored.
ByteString FormatText(ByteStringView pattern, std::span<const ByteStringView> arguments);
inline ByteString FormatText(ByteStringView pattern, std::initializer_list<ByteStringView> arguments) {
    return FormatText(pattern, std::span(arguments.begin(), arguments.size()));
}

}  // namespace patcher

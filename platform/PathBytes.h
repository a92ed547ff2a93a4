#pragma once

#include <string>

#include "common/ByteString.h"
#include "platform/PlatformError.h"

namespace patcher {

// Names and paths reach the system zero-terminated: one that holds a zero byte would name something else.
inline bool HoldsZeroByte(ByteStringView text) noexcept {
    return text.find('\0') != ByteStringView::npos;
}

// The text as the system takes it, zero-terminated. Throws PlatformError with `invalidName`, the system's
// number for a name it cannot take, where the text holds a zero byte.
inline ByteString Terminated(ByteStringView text, const char* what, unsigned long invalidName) {
    if (HoldsZeroByte(text)) {
        throw PlatformError(std::string(what) + " holding a zero byte", invalidName);
    }
    return ByteString(text);
}

}  // namespace patcher

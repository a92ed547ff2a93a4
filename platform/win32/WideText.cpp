#include "platform/win32/WideText.h"

#include <windows.h>

#include <limits>

#include "platform/PlatformError.h"

namespace patcher::win32 {

std::wstring WideFromBytes(ByteStringView bytes, unsigned codePage) {
    if (bytes.empty()) {
        return {};
    }
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw PlatformError("MultiByteToWideChar", ERROR_INVALID_PARAMETER);
    }
    const int length = static_cast<int>(bytes.size());
    // The code pages used here are single-byte, so the text keeps its length; asking for the size first
    // keeps this right for any code page.
    const int needed = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        throw PlatformError("MultiByteToWideChar", ::GetLastError());
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), needed) != needed) {
        throw PlatformError("MultiByteToWideChar", ::GetLastError());
    }
    return wide;
}

}  // namespace patcher::win32

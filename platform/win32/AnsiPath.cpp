#include "platform/win32/AnsiPath.h"

#include <windows.h>

namespace patcher::win32 {

std::size_t NameStartInCodePage(const ByteString& path, unsigned codePage) {
    const char* const begin = path.c_str();
    std::size_t start = 0;
    for (const char* at = begin; *at != '\0';) {
        const char* const next = ::CharNextExA(static_cast<WORD>(codePage), at, 0);
        if (next == at) {
            break;
        }
        const auto offset = static_cast<std::size_t>(at - begin);
        if (next - at == 1 && (*at == '\\' || *at == '/')) {
            start = offset + 1;
        } else if (next - at == 1 && *at == ':' && offset == 1) {
            start = 2;
        }
        at = next;
    }
    return start;
}

std::size_t AnsiNameStart(const ByteString& path) {
    return NameStartInCodePage(path, CP_ACP);
}

}  // namespace patcher::win32

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

WideConversion WideConversionFor(unsigned codePage, unsigned ansiCodePage) noexcept {
    const unsigned resolved = codePage == CP_ACP ? ansiCodePage : codePage;
    if (resolved == CP_UTF8) {
        // Every character has an equivalent; an unpaired surrogate is refused by the flag.
        return {resolved, WC_ERR_INVALID_CHARS, false};
    }
    return {resolved, WC_NO_BEST_FIT_CHARS, true};
}

ByteString BytesFromWide(std::wstring_view text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) {
        throw PlatformError("WideCharToMultiByte", ERROR_INVALID_PARAMETER);
    }
    const int length = static_cast<int>(text.size());
    const WideConversion conversion = WideConversionFor(codePage, ::GetACP());
    const DWORD flags = conversion.Flags;
    BOOL defaultUsed = FALSE;
    BOOL* const defaultUsedOut = conversion.AsksUsedDefault ? &defaultUsed : nullptr;
    const int needed =
        ::WideCharToMultiByte(conversion.CodePage, flags, text.data(), length, nullptr, 0, nullptr, defaultUsedOut);
    if (needed <= 0) {
        throw PlatformError("WideCharToMultiByte", ::GetLastError());
    }
    ByteString bytes(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(conversion.CodePage, flags, text.data(), length, bytes.data(), needed, nullptr,
                              defaultUsedOut) != needed) {
        throw PlatformError("WideCharToMultiByte", ::GetLastError());
    }
    // Whatever the code page could not carry (a stand-in character, a dropped one) reads back otherwise.
    if (defaultUsed || WideFromBytes(bytes, conversion.CodePage) != text) {
        throw PlatformError("WideCharToMultiByte of a character the code page lacks", ERROR_NO_UNICODE_TRANSLATION);
    }
    return bytes;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4)) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed <= 0 ||
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), needed, nullptr, nullptr) != needed) {
        return {};
    }
    return bytes;
}

}  // namespace patcher::win32

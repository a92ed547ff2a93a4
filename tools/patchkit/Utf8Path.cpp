#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {

// Copied unit by unit rather than cast: char8_t may not alias the bytes of a char string.
std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace patcher::patchkit

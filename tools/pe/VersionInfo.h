#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace patcher::pe {

// A program's version information (the RT_VERSION resource, which Windows' file properties show): the
// fixed numbers, string tables of names and values per language and code page, and the translations that
// say which tables there are.
struct VersionInfo {
    // Major, minor, then the two smaller parts: 1.5.3 is {1, 5, 3, 0}.
    using Numbers = std::array<std::uint16_t, 4>;

    Numbers FileVersion{};
    Numbers ProductVersion{};
    std::uint32_t FileFlagsMask = 0x3F;  // VS_FFI_FILEFLAGSMASK
    std::uint32_t FileFlags = 0;
    std::uint32_t FileOs = 0x40004;  // VOS_NT_WINDOWS32
    std::uint32_t FileType = 1;      // VFT_APP
    std::uint32_t FileSubtype = 0;

    struct StringTable {
        std::u16string Key;  // the language and code page in hexadecimal: u"040904E2" is English in 1250
        std::vector<std::pair<std::u16string, std::u16string>> Strings;  // name and value, in this order
        friend bool operator==(const StringTable&, const StringTable&) = default;
    };
    std::vector<StringTable> StringTables;

    struct Translation {
        std::uint16_t Language = 0;
        std::uint16_t CodePage = 0;
        friend bool operator==(const Translation&, const Translation&) = default;
    };
    std::vector<Translation> Translations;

    friend bool operator==(const VersionInfo&, const VersionInfo&) = default;
};

// One to four numbers from 0 to 65535 between dots ("1.5.3"), the missing ones 0. Throws
// std::invalid_argument for anything else.
VersionInfo::Numbers VersionNumbers(std::string_view text);

// The bytes of an RT_VERSION resource (VS_VERSIONINFO): the fixed file information, a StringFileInfo with
// the string tables and a VarFileInfo with the translations, each block with its length, its value's length
// and its type, keys and values in UTF-16 with their terminating zeros, every block on a 32-bit boundary.
// No date: the same information gives the same bytes. Throws std::invalid_argument for information longer
// than a block can say.
std::vector<std::uint8_t> VersionInfoResource(const VersionInfo& info);

// The version information that an RT_VERSION resource holds; blocks this project does not write are passed
// over. Every length is checked against the block around it: a resource that breaks the layout throws
// std::invalid_argument.
VersionInfo ParseVersionInfo(std::span<const std::uint8_t> resource);

}  // namespace patcher::pe

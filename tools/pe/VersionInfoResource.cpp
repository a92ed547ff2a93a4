#include <charconv>
#include <stdexcept>
#include <string>

#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::pe {
namespace {

// Writes blocks one into another: Open starts a block on the next 32-bit boundary with its key, Close
// sets its length once its value and children are written.
class BlockWriter {
  public:
    std::size_t Open(std::u16string_view key, std::size_t valueLength, std::uint16_t type) {
        Align();
        const std::size_t start = out_.size();
        Store16(out_, start + version::kValueLength, Checked(valueLength, key));
        Store16(out_, start + version::kType, type);
        Text(key);
        Align();
        return start;
    }

    void Close(std::size_t start, std::u16string_view key) {
        Store16(out_, start + version::kLength, Checked(out_.size() - start, key));
    }

    void Text(std::u16string_view text) {
        for (const char16_t unit : text) {
            Store16(out_, out_.size(), unit);
        }
        Store16(out_, out_.size(), 0);
    }

    void Field32(std::uint32_t value) { Store32(out_, out_.size(), value); }

    std::vector<std::uint8_t> Take() { return std::move(out_); }

  private:
    void Align() { out_.resize(AlignUp(out_.size(), version::kAlignment), 0); }

    static std::uint16_t Checked(std::size_t length, std::u16string_view key) {
        if (length > 0xFFFF) {
            std::string name;
            for (const char16_t unit : key) {
                name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
            }
            throw std::invalid_argument("version information block " + name + " is longer than 65535 bytes");
        }
        return static_cast<std::uint16_t>(length);
    }

    std::vector<std::uint8_t> out_;
};

std::uint32_t High(const VersionInfo::Numbers& numbers) {
    return static_cast<std::uint32_t>(numbers[0]) << 16 | numbers[1];
}

std::uint32_t Low(const VersionInfo::Numbers& numbers) {
    return static_cast<std::uint32_t>(numbers[2]) << 16 | numbers[3];
}

}  // namespace

VersionInfo::Numbers VersionNumbers(std::string_view text) {
    VersionInfo::Numbers numbers{};
    std::size_t count = 0;
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    while (true) {
        unsigned value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || value > 0xFFFF || count == numbers.size()) {
            throw std::invalid_argument("not a version of one to four numbers up to 65535: " + std::string(text));
        }
        numbers[count++] = static_cast<std::uint16_t>(value);
        if (next == end) {
            return numbers;
        }
        if (*next != '.') {
            throw std::invalid_argument("not a version of one to four numbers up to 65535: " + std::string(text));
        }
        at = next + 1;
    }
}

std::vector<std::uint8_t> VersionInfoResource(const VersionInfo& info) {
    BlockWriter out;
    const std::size_t root = out.Open(version::kRootKey, version::kFixedFileInfoSize, version::kTypeBinary);
    for (const std::uint32_t field :
         {version::kFixedFileInfoSignature, version::kFixedFileInfoVersion, High(info.FileVersion),
          Low(info.FileVersion), High(info.ProductVersion), Low(info.ProductVersion), info.FileFlagsMask,
          info.FileFlags, info.FileOs, info.FileType, info.FileSubtype, 0U, 0U}) {
        out.Field32(field);
    }

    const std::size_t strings = out.Open(version::kStringFileInfoKey, 0, version::kTypeText);
    for (const VersionInfo::StringTable& table : info.StringTables) {
        const std::size_t tableStart = out.Open(table.Key, 0, version::kTypeText);
        for (const auto& [name, value] : table.Strings) {
            const std::size_t string = out.Open(name, value.size() + 1, version::kTypeText);
            out.Text(value);
            out.Close(string, name);
        }
        out.Close(tableStart, table.Key);
    }
    out.Close(strings, version::kStringFileInfoKey);

    const std::size_t variables = out.Open(version::kVarFileInfoKey, 0, version::kTypeText);
    const std::size_t translation =
        out.Open(version::kTranslationKey, info.Translations.size() * 4, version::kTypeBinary);
    for (const VersionInfo::Translation& pair : info.Translations) {
        out.Field32(pair.Language | static_cast<std::uint32_t>(pair.CodePage) << 16);
    }
    out.Close(translation, version::kTranslationKey);
    out.Close(variables, version::kVarFileInfoKey);

    out.Close(root, version::kRootKey);
    return out.Take();
}

}  // namespace patcher::pe

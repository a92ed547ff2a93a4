#include <algorithm>
#include <stdexcept>
#include <string>

#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::pe {
namespace {

[[noreturn]] void Broken(const char* what) {
    throw std::invalid_argument(std::string("not well-formed version information: ") + what);
}

// One block, read from its place in the resource: every part of it lies inside the room its parent gives.
struct Block {
    std::u16string Key;
    std::uint16_t Type = 0;
    std::span<const std::uint8_t> Value;
    std::span<const std::uint8_t> Rest;      // from the value to the block's end
    std::span<const std::uint8_t> Children;  // from the first child's boundary to the block's end
    std::size_t Length = 0;
};

// The block at `at` of `room`, which its parent's length bounds.
Block ReadBlock(std::span<const std::uint8_t> room, std::size_t at) {
    if (room.size() - at < version::kKey) {
        Broken("block header cut short");
    }
    Block block;
    block.Length = Load16(room, at + version::kLength);
    const std::uint16_t valueLength = Load16(room, at + version::kValueLength);
    block.Type = Load16(room, at + version::kType);
    if (block.Length < version::kKey || block.Length > room.size() - at) {
        Broken("block longer than the room around it");
    }
    const std::span<const std::uint8_t> own = room.subspan(at, block.Length);
    std::size_t cursor = version::kKey;
    while (true) {
        if (own.size() - cursor < 2) {
            Broken("key without its terminating zero");
        }
        const char16_t unit = Load16(own, cursor);
        cursor += 2;
        if (unit == 0) {
            break;
        }
        block.Key.push_back(unit);
    }
    // Blocks start on 32-bit boundaries of the resource, so their own offsets align the same way. A value
    // that its length says runs past the block is cut at the block's end.
    cursor = std::min(AlignUp(cursor, version::kAlignment), own.size());
    block.Rest = own.subspan(cursor);
    const std::size_t valueBytes = block.Type == version::kTypeText ? valueLength * std::size_t{2} : valueLength;
    block.Value = block.Rest.first(std::min(valueBytes, block.Rest.size()));
    block.Children = own.subspan(std::min(AlignUp(cursor + block.Value.size(), version::kAlignment), own.size()));
    return block;
}

// Calls `visit` with each child of a block, in order.
template <typename Visit>
void ForEachChild(const Block& parent, Visit visit) {
    std::size_t at = 0;
    while (at < parent.Children.size()) {
        const Block child = ReadBlock(parent.Children, at);
        visit(child);
        at = AlignUp(at + child.Length, version::kAlignment);
    }
}

// A string's value: its text up to the terminating zero. Compilers disagree on whether its value length
// counts units or bytes, so the block's own end bounds the text instead.
std::u16string StringValue(const Block& string) {
    std::u16string text;
    for (std::size_t at = 0; at + 1 < string.Rest.size(); at += 2) {
        const char16_t unit = Load16(string.Rest, at);
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

VersionInfo::Numbers Numbers(std::uint32_t high, std::uint32_t low) {
    return {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
            static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

}  // namespace

VersionInfo ParseVersionInfo(std::span<const std::uint8_t> resource) {
    const Block root = ReadBlock(resource, 0);
    if (root.Key != version::kRootKey) {
        Broken("no VS_VERSION_INFO block");
    }
    if (root.Value.size() != version::kFixedFileInfoSize ||
        Load32(root.Value, version::kSignature) != version::kFixedFileInfoSignature) {
        Broken("no fixed file information");
    }
    VersionInfo info;
    const auto field = [&](std::size_t at) { return Load32(root.Value, at); };
    info.FileVersion = Numbers(field(version::kFileVersionMs), field(version::kFileVersionLs));
    info.ProductVersion = Numbers(field(version::kProductVersionMs), field(version::kProductVersionLs));
    info.FileFlagsMask = field(version::kFileFlagsMask);
    info.FileFlags = field(version::kFileFlags);
    info.FileOs = field(version::kFileOs);
    info.FileType = field(version::kFileType);
    info.FileSubtype = field(version::kFileSubtype);

    ForEachChild(root, [&](const Block& child) {
        if (child.Key == version::kStringFileInfoKey) {
            ForEachChild(child, [&](const Block& table) {
                VersionInfo::StringTable& read = info.StringTables.emplace_back();
                read.Key = table.Key;
                ForEachChild(table,
                             [&](const Block& string) { read.Strings.emplace_back(string.Key, StringValue(string)); });
            });
        } else if (child.Key == version::kVarFileInfoKey) {
            ForEachChild(child, [&](const Block& variable) {
                if (variable.Key != version::kTranslationKey) {
                    return;
                }
                for (std::size_t at = 0; at + 4 <= variable.Value.size(); at += 4) {
                    info.Translations.push_back({Load16(variable.Value, at), Load16(variable.Value, at + 2)});
                }
            });
        }
    });
    return info;
}

}  // namespace patcher::pe

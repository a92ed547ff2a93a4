#include "tables/PatchTablesFormat.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string_view>

#include "common/Windows1250.h"
#include "tables/Crc32.h"

namespace patcher {

// The layout of the tables resource. Every number is unsigned and little-endian; u8, u32 give the width.
//
//   header, 16 bytes
//     4      the magic "VKPT"
//     u32    layout version, 1
//     u32    total size in bytes, the header included: exactly the size of the resource
//     u32    CRC-32 (tables/Crc32.h) of every byte after the header
//   profile
//     u8     ProductIndex, 1..10
//     u8     ProductLanguage, 1..3
//     u8     ProductKind, 1..6
//     u8     UpdateIndex, 1..12
//     32     SelectedFiles: file n is bit (n mod 8) of byte (n div 8); only files 1..12, at least one, UpdateIndex
//            among them, each with known builds
//   three texts, each a u8 length 1..255 and that many Windows-1250 bytes, every one a character to show (no
//   control character, none of the five bytes the code page leaves undefined):
//            the update's title in Polish (column 1), in the product's foreign language (column 2), its version
//   files
//     u8     file count, 12
//     per file index 1..12:
//       u8   count of known builds, 0..255; for a count of 0 nothing follows
//       u8   the newest build's number: the highest of those below
//       u32  the new content's size: the newest build's size
//       u32  the new content's CRC-32
//       per build, in strictly ascending numbers:
//         u8   number, 1..255
//         u32  size in bytes, 1..2^31-1
//         50 × (u32 offset below the size, u8 expected byte)
//
// Nothing may follow. Every field is fixed by the tables, so the same tables always give the same bytes, and
// tables read back write the bytes they were read from. The writer (PatchTablesWriter.cpp) lives apart: the
// maintainers' tool writes tables, the patcher only reads them.

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A number as a part of a message, written where it stands.
class Number {
  public:
    template <typename Integer>
    explicit Number(Integer value)
        : length_(std::to_chars(text_, text_ + sizeof text_, static_cast<std::int64_t>(value)).ptr - text_) {}
    operator std::string_view() const { return {text_, static_cast<std::size_t>(length_)}; }

  private:
    char text_[24];
    std::ptrdiff_t length_;
};

// The refusal "the patch tables ..." and its parts: one small function for every message keeps the patcher,
// which carries this reader, small.
[[noreturn]] void Refuse(std::initializer_list<std::string_view> parts) {
    std::string text = "the patch tables ";
    for (const std::string_view part : parts) {
        text += part;
    }
    throw PatchTablesError(text);
}

// ---------------------------------------------------------------- what tables must be

void CheckRange(const char* what, int value, int low, int high) {
    if (value < low || value > high) {
        Refuse({"give ", what, " ", Number(value), ", not one of ", Number(low), "..", Number(high)});
    }
}

void CheckText(const char* what, ByteStringView text) {
    if (text.empty() || text.size() > kMaxTableTextBytes) {
        Refuse({"give ", what, " of ", Number(text.size()), " bytes, not 1..", Number(kMaxTableTextBytes)});
    }
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (!IsShownWindows1250(byte)) {
            const char hex[] = {'0', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            Refuse({"give ", what, " with the byte ", std::string_view(hex, sizeof hex),
                    ", which is no Windows-1250 character to show"});
        }
    }
}

void CheckFile(int fileIndex, const FileTables& file) {
    if (file.Versions.size() > static_cast<std::size_t>(kMaxVersions)) {
        Refuse({"give file ", Number(fileIndex), " ", Number(file.Versions.size()), " builds, more than ",
                Number(kMaxVersions)});
    }
    if (file.Versions.empty()) {
        if (file.Newest != 0 || file.NewContent != ContentDigest{0, 0}) {
            Refuse({"give file ", Number(fileIndex), " a newest build or new content, but no build"});
        }
        return;
    }
    int previous = 0;
    for (const KnownVersion& version : file.Versions) {
        if (version.Number < 1 || version.Number > kMaxVersions) {
            Refuse({"give file ", Number(fileIndex), " a build numbered ", Number(version.Number), ", not one of 1..",
                    Number(kMaxVersions)});
        }
        if (version.Number <= previous) {
            Refuse({"give file ", Number(fileIndex), " build ", Number(version.Number), " after build ",
                    Number(previous), ": builds come in strictly ascending numbers"});
        }
        previous = version.Number;
        if (version.Size <= 0) {
            Refuse({"give file ", Number(fileIndex), " build ", Number(version.Number), " the size ",
                    Number(version.Size), ", and no build is empty"});
        }
        for (const SignatureEntry& entry : version.Samples) {
            if (entry.Offset < 0 || entry.Offset >= version.Size) {
                Refuse({"sample file ", Number(fileIndex), " build ", Number(version.Number), " at offset ",
                        Number(entry.Offset), ", outside its ", Number(version.Size), " bytes"});
            }
        }
    }
    if (file.Newest != previous) {
        Refuse({"give file ", Number(fileIndex), " the newest build ", Number(file.Newest), ", not its highest, ",
                Number(previous)});
    }
    if (file.NewContent.Size != file.Versions.back().Size) {
        Refuse({"give file ", Number(fileIndex), " new content of ", Number(file.NewContent.Size),
                " bytes, not the size of its newest build, ", Number(file.Versions.back().Size)});
    }
}

}  // namespace

void CheckPatchTables(const PatchTables& tables) {
    CheckRange("ProductIndex", tables.ProductIndex, 1, 10);
    CheckRange("ProductLanguage", tables.ProductLanguage, 1, 3);
    CheckRange("ProductKind", tables.ProductKind, 1, 6);
    CheckRange("UpdateIndex", tables.UpdateIndex, 1, kFileCount);
    CheckText("a Polish title", tables.UpdateTitle[0]);
    CheckText("a foreign title", tables.UpdateTitle[1]);
    CheckText("a version", tables.UpdateVersion);
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        CheckFile(fileIndex, tables.File(fileIndex));
    }
    bool any = false;
    for (int member = 0; member < 256; ++member) {
        if (!tables.Selects(member)) {
            continue;
        }
        if (member < 1 || member > kFileCount) {
            Refuse({"select file ", Number(member), ", and files go from 1 to ", Number(kFileCount)});
        }
        if (tables.File(member).Versions.empty()) {
            Refuse({"select file ", Number(member), ", of which they know no build"});
        }
        any = true;
    }
    if (!any) {
        Refuse({"select no file"});
    }
    if (!tables.Selects(tables.UpdateIndex)) {
        Refuse({"name the update of file ", Number(tables.UpdateIndex), ", which they do not select"});
    }
}

namespace {

// ---------------------------------------------------------------- reading

// Reads the body field by field; a field that would reach past the end is refused, never read.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8() { return Take(1)[0]; }
    std::uint32_t U32() {
        const std::span<const std::uint8_t> field = Take(4);
        return static_cast<std::uint32_t>(field[0]) | static_cast<std::uint32_t>(field[1]) << 8 |
               static_cast<std::uint32_t>(field[2]) << 16 | static_cast<std::uint32_t>(field[3]) << 24;
    }
    ByteString Text() {
        const std::size_t length = U8();
        const std::span<const std::uint8_t> field = Take(length);
        return ByteString(field.begin(), field.end());
    }
    std::span<const std::uint8_t> Take(std::size_t count) {
        if (count > bytes_.size() - at_) {
            Refuse({"end early: ", Number(count), " bytes are wanted at offset ", Number(kPatchTablesHeaderBytes + at_),
                    ", where ", Number(bytes_.size() - at_), " are left"});
        }
        const std::span<const std::uint8_t> field = bytes_.subspan(at_, count);
        at_ += count;
        return field;
    }
    std::size_t Left() const { return bytes_.size() - at_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// A size or offset as the tables keep it: a signed 32-bit number, which the check then judges.
std::int32_t Signed(std::uint32_t value) {
    return value > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
               ? -1
               : static_cast<std::int32_t>(value);
}

}  // namespace

PatchTables ReadPatchTables(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kPatchTablesHeaderBytes) {
        Refuse({"have ", Number(bytes.size()), " bytes, fewer than their header's ", Number(kPatchTablesHeaderBytes)});
    }
    if (!std::equal(kPatchTablesMagic.begin(), kPatchTablesMagic.end(), bytes.begin())) {
        Refuse({"do not begin with their magic \"VKPT\""});
    }
    if (const std::uint32_t layout = U32At(bytes, 4); layout != kPatchTablesLayout) {
        Refuse({"have the layout version ", Number(layout), ", and this patcher reads ", Number(kPatchTablesLayout)});
    }
    if (const std::uint32_t total = U32At(bytes, 8); total != bytes.size()) {
        Refuse({"give their size as ", Number(total), " bytes, but have ", Number(bytes.size())});
    }
    const std::span<const std::uint8_t> body = bytes.subspan(kPatchTablesHeaderBytes);
    if (Crc32(body) != U32At(bytes, 12)) {
        Refuse({"are damaged: their CRC-32 does not match"});
    }

    Reader in(body);
    PatchTables tables;
    tables.ProductIndex = in.U8();
    tables.ProductLanguage = in.U8();
    tables.ProductKind = in.U8();
    tables.UpdateIndex = in.U8();
    for (std::uint8_t& byte : tables.SelectedFiles) {
        byte = in.U8();
    }
    tables.UpdateTitle[0] = in.Text();
    tables.UpdateTitle[1] = in.Text();
    tables.UpdateVersion = in.Text();
    if (const int files = in.U8(); files != kFileCount) {
        Refuse({"hold ", Number(files), " files, not the ", Number(kFileCount), " of the family"});
    }
    for (FileTables& file : tables.Files) {
        const int count = in.U8();
        if (count == 0) {
            continue;
        }
        file.Newest = in.U8();
        file.NewContent.Size = Signed(in.U32());
        file.NewContent.Crc32 = in.U32();
        file.Versions.resize(static_cast<std::size_t>(count));
        for (KnownVersion& version : file.Versions) {
            version.Number = in.U8();
            version.Size = Signed(in.U32());
            for (SignatureEntry& entry : version.Samples) {
                entry.Offset = Signed(in.U32());
                entry.Expected = in.U8();
            }
        }
    }
    if (in.Left() != 0) {
        Refuse({"go on for ", Number(in.Left()), " bytes after their last file"});
    }
    CheckPatchTables(tables);
    return tables;
}

PatchTables LoadPatchTables(ResourceStore& resources) {
    const std::unique_ptr<LoadedResource> resource = resources.Load(kPatchTablesResource);
    return ReadPatchTables(resource->Bytes());
}

}  // namespace patcher

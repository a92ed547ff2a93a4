#include "engine/PatchTablesFormat.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

#include "common/Windows1250.h"
#include "engine/Crc32.h"

namespace patcher {

// The layout of the tables resource. Every number is unsigned and little-endian; u8, u32 give the width.
//
//   header, 16 bytes
//     4      the magic "VKPT"
//     u32    layout version, 1
//     u32    total size in bytes, the header included: exactly the size of the resource
//     u32    CRC-32 (engine/Crc32.h) of every byte after the header
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
// tables read back write the bytes they were read from.

namespace {

constexpr std::uint8_t kMagic[4] = {'V', 'K', 'P', 'T'};
constexpr std::uint32_t kLayoutVersion = 1;
constexpr std::size_t kHeaderBytes = 16;

[[noreturn]] void Refuse(const std::string& why) {
    throw PatchTablesError("the patch tables " + why);
}

// ---------------------------------------------------------------- what tables must be

void CheckRange(const char* what, std::int64_t value, std::int64_t low, std::int64_t high) {
    if (value < low || value > high) {
        Refuse("give " + std::string(what) + " " + std::to_string(value) + ", not one of " + std::to_string(low) +
               ".." + std::to_string(high));
    }
}

void CheckText(const char* what, ByteStringView text) {
    if (text.empty() || text.size() > kMaxTableTextBytes) {
        Refuse("give " + std::string(what) + " of " + std::to_string(text.size()) + " bytes, not 1.." +
               std::to_string(kMaxTableTextBytes));
    }
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (!IsShownWindows1250(byte)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(byte));
            Refuse("give " + std::string(what) + " with the byte " + hex +
                   ", which is no Windows-1250 character to show");
        }
    }
}

void CheckFile(int fileIndex, const FileTables& file) {
    const std::string name = "file " + std::to_string(fileIndex);
    if (file.Versions.size() > static_cast<std::size_t>(kMaxVersions)) {
        Refuse("give " + name + " " + std::to_string(file.Versions.size()) + " builds, more than " +
               std::to_string(kMaxVersions));
    }
    if (file.Versions.empty()) {
        if (file.Newest != 0 || file.NewContent != ContentDigest{0, 0}) {
            Refuse("give " + name + " a newest build or new content, but no build");
        }
        return;
    }
    int previous = 0;
    for (const KnownVersion& version : file.Versions) {
        const std::string build = name + " build " + std::to_string(version.Number);
        if (version.Number < 1 || version.Number > kMaxVersions) {
            Refuse("give " + name + " a build numbered " + std::to_string(version.Number) + ", not one of 1.." +
                   std::to_string(kMaxVersions));
        }
        if (version.Number <= previous) {
            Refuse("give " + build + " after build " + std::to_string(previous) +
                   ": builds come in strictly ascending numbers");
        }
        previous = version.Number;
        if (version.Size <= 0) {
            Refuse("give " + build + " the size " + std::to_string(version.Size) + ", and no build is empty");
        }
        for (const SignatureEntry& entry : version.Samples) {
            if (entry.Offset < 0 || entry.Offset >= version.Size) {
                Refuse("sample " + build + " at offset " + std::to_string(entry.Offset) + ", outside its " +
                       std::to_string(version.Size) + " bytes");
            }
        }
    }
    if (file.Newest != previous) {
        Refuse("give " + name + " the newest build " + std::to_string(file.Newest) + ", not its highest, " +
               std::to_string(previous));
    }
    if (file.NewContent.Size != file.Versions.back().Size) {
        Refuse("give " + name + " new content of " + std::to_string(file.NewContent.Size) +
               " bytes, not the size of its newest build, " + std::to_string(file.Versions.back().Size));
    }
}

void CheckTables(const PatchTables& tables) {
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
            Refuse("select file " + std::to_string(member) + ", and files go from 1 to " + std::to_string(kFileCount));
        }
        if (tables.File(member).Versions.empty()) {
            Refuse("select file " + std::to_string(member) + ", of which they know no build");
        }
        any = true;
    }
    if (!any) {
        Refuse("select no file");
    }
    if (!tables.Selects(tables.UpdateIndex)) {
        Refuse("name the update of file " + std::to_string(tables.UpdateIndex) + ", which they do not select");
    }
}

// ---------------------------------------------------------------- writing

class Writer {
  public:
    void U8(int value) { bytes_.push_back(static_cast<std::uint8_t>(value)); }
    void U32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    void Text(ByteStringView text) {
        U8(static_cast<int>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

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
            Refuse("end early: " + std::to_string(count) + " bytes are wanted at offset " +
                   std::to_string(kHeaderBytes + at_) + ", where " + std::to_string(bytes_.size() - at_) + " are left");
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

std::vector<std::uint8_t> WritePatchTables(const PatchTables& tables) {
    CheckTables(tables);
    Writer out;
    for (const std::uint8_t byte : kMagic) {
        out.U8(byte);
    }
    out.U32(kLayoutVersion);
    out.U32(0);  // the total size and the CRC-32, once the rest is written
    out.U32(0);
    out.U8(tables.ProductIndex);
    out.U8(tables.ProductLanguage);
    out.U8(tables.ProductKind);
    out.U8(tables.UpdateIndex);
    for (const std::uint8_t byte : tables.SelectedFiles) {
        out.U8(byte);
    }
    out.Text(tables.UpdateTitle[0]);
    out.Text(tables.UpdateTitle[1]);
    out.Text(tables.UpdateVersion);
    out.U8(kFileCount);
    for (const FileTables& file : tables.Files) {
        out.U8(static_cast<int>(file.Versions.size()));
        if (file.Versions.empty()) {
            continue;
        }
        out.U8(file.Newest);
        out.U32(static_cast<std::uint32_t>(file.NewContent.Size));
        out.U32(file.NewContent.Crc32);
        for (const KnownVersion& version : file.Versions) {
            out.U8(version.Number);
            out.U32(static_cast<std::uint32_t>(version.Size));
            for (const SignatureEntry& entry : version.Samples) {
                out.U32(static_cast<std::uint32_t>(entry.Offset));
                out.U8(entry.Expected);
            }
        }
    }
    std::vector<std::uint8_t>& bytes = out.Bytes();
    PutU32(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
    PutU32(bytes, 12, Crc32(std::span(bytes).subspan(kHeaderBytes)));
    return std::move(bytes);
}

PatchTables ReadPatchTables(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes) {
        Refuse("have " + std::to_string(bytes.size()) + " bytes, fewer than their header's " +
               std::to_string(kHeaderBytes));
    }
    if (!std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin())) {
        Refuse("do not begin with their magic \"VKPT\"");
    }
    if (const std::uint32_t layout = U32At(bytes, 4); layout != kLayoutVersion) {
        Refuse("have the layout version " + std::to_string(layout) + ", and this patcher reads " +
               std::to_string(kLayoutVersion));
    }
    if (const std::uint32_t total = U32At(bytes, 8); total != bytes.size()) {
        Refuse("give their size as " + std::to_string(total) + " bytes, but have " + std::to_string(bytes.size()));
    }
    const std::span<const std::uint8_t> body = bytes.subspan(kHeaderBytes);
    if (Crc32(body) != U32At(bytes, 12)) {
        Refuse("are damaged: their CRC-32 does not match");
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
        Refuse("hold " + std::to_string(files) + " files, not the " + std::to_string(kFileCount) + " of the family");
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
        Refuse("go on for " + std::to_string(in.Left()) + " bytes after their last file");
    }
    CheckTables(tables);
    return tables;
}

PatchTables LoadPatchTables(ResourceStore& resources) {
    const std::unique_ptr<LoadedResource> resource = resources.Load(kPatchTablesResource);
    return ReadPatchTables(resource->Bytes());
}

}  // namespace patcher

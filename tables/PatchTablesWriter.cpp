#include "tables/PatchTablesFormat.h"

#include "tables/Crc32.h"

namespace patcher {
namespace {

// Appends the fields of the layout (PatchTablesFormat.cpp) in order.
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
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace

std::vector<std::uint8_t> WritePatchTables(const PatchTables& tables) {
    CheckPatchTables(tables);
    Writer out;
    for (const char byte : kPatchTablesMagic) {
        out.U8(byte);
    }
    out.U32(kPatchTablesLayout);
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
    PutU32(bytes, 12, Crc32(std::span(bytes).subspan(kPatchTablesHeaderBytes)));
    return std::move(bytes);
}

}  // namespace patcher

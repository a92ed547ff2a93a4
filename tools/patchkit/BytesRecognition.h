#pragma once

#include <cstdint>
#include <span>

#include "engine/untPatcher.h"
#include "platform/FileSystem.h"
#include "tables/PatchTables.h"

namespace patcher::patchkit {

// Bytes held in memory as the open file that the patcher's recognition reads, with one byte that may be read
// as another (Change) until Restore: what the build's checks need to try each sample's other values.
class BytesFile final : public ReadableFile {
  public:
    explicit BytesFile(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    void Change(std::int64_t offset, std::uint8_t value) {
        changedAt_ = offset;
        changedTo_ = value;
    }
    void Restore() { changedAt_ = -1; }

    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
    void Seek(std::int64_t offset) override { position_ = offset; }
    // Throws std::out_of_range past the end, as a failed read of a file throws.
    std::uint8_t ReadByte() override;

  private:
    std::span<const std::uint8_t> bytes_;
    std::int64_t position_ = 0;
    std::int64_t changedAt_ = -1;
    std::uint8_t changedTo_ = 0;
};

// The build of file fileIndex (1..12) that bytes held in memory are, by a patcher's tables and its own
// recognition.
Recognition RecogniseBytes(const PatchTables& tables, int fileIndex, std::span<const std::uint8_t> bytes);

}  // namespace patcher::patchkit

#include "tools/patchkit/BytesRecognition.h"

#include <stdexcept>

namespace patcher::patchkit {
namespace {

// Bytes in memory as the open file that recognition reads.
class BytesFile final : public ReadableFile {
  public:
    explicit BytesFile(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
    void Seek(std::int64_t offset) override { position_ = offset; }
    std::uint8_t ReadByte() override {
        if (position_ < 0 || position_ >= Size()) {
            throw std::out_of_range("a read past the end of the file");
        }
        return bytes_[static_cast<std::size_t>(position_++)];
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::int64_t position_ = 0;
};

}  // namespace

Recognition RecogniseBytes(const PatchTables& tables, int fileIndex, std::span<const std::uint8_t> bytes) {
    BytesFile file(bytes);
    return IdentifyOpenFile(fileIndex, file, tables);
}

}  // namespace patcher::patchkit

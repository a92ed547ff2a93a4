#include "tools/patchkit/BytesRecognition.h"

#include <stdexcept>

namespace patcher::patchkit {

std::uint8_t BytesFile::ReadByte() {
    if (position_ < 0 || position_ >= Size()) {
        throw std::out_of_range("a read past the end of the file");
    }
    const std::uint8_t byte = position_ == changedAt_ ? changedTo_ : bytes_[static_cast<std::size_t>(position_)];
    ++position_;
    return byte;
}

Recognition RecogniseBytes(const PatchTables& tables, int fileIndex, std::span<const std::uint8_t> bytes) {
    BytesFile file(bytes);
    return IdentifyOpenFile(fileIndex, file, tables);
}

}  // namespace patcher::patchkit

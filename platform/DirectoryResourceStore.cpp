#include "platform/DirectoryResourceStore.h"

#include <fstream>
#include <vector>

#include "platform/PlatformError.h"

namespace patcher {
namespace {

class FileResource final : public LoadedResource {
  public:
    explicit FileResource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::span<const std::uint8_t> Bytes() const override { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::filesystem::path DirectoryResourceStore::FileOf(ByteStringView name) const {
    return directory_ / (ByteString(name) + ".packed");
}

std::unique_ptr<LoadedResource> DirectoryResourceStore::Load(ByteStringView name) {
    std::ifstream in(FileOf(name), std::ios::binary | std::ios::ate);
    if (!in) {
        throw PlatformError("no packed resource " + ByteString(name), 1813);  // as FindResource says it
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        throw PlatformError("reading packed resource " + ByteString(name), 30);
    }
    return std::make_unique<FileResource>(std::move(bytes));
}

}  // namespace patcher

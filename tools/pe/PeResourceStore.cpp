#include "tools/pe/PeResourceStore.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/PlatformError.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::pe {
namespace {

constexpr unsigned long kResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND

// Bytes inside the image that the store keeps.
class ImageBytes final : public LoadedResource {
  public:
    explicit ImageBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> Bytes() const override { return bytes_; }

  private:
    std::span<const std::uint8_t> bytes_;
};

// Resource names are looked up in capitals, as FindResource looks them up.
std::u16string NameOf(ByteStringView name) {
    std::u16string wide;
    for (const char c : name) {
        wide += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : static_cast<unsigned char>(c));
    }
    return wide;
}

}  // namespace

PeResourceStore::PeResourceStore(std::vector<std::uint8_t> image) : image_(std::move(image)) {
    PeReader reader(image_);  // refuses what is no program before anything is looked up in it
}

std::unique_ptr<PeResourceStore> PeResourceStore::FromFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    if (!in.eof() && in.fail()) {
        throw std::runtime_error("the program " + path.string() + " cannot be read");
    }
    if (image.empty()) {
        throw std::runtime_error("the program " + path.string() + " cannot be read or is empty");
    }
    return std::make_unique<PeResourceStore>(std::move(image));
}

std::unique_ptr<LoadedResource> PeResourceStore::Load(ByteStringView name) {
    const PeReader reader(image_);
    const std::span<const std::uint8_t> bytes =
        reader.FirstResource(resources::kRcData, ResourceId::Named(NameOf(name)));
    if (bytes.empty()) {
        throw PlatformError("no data resource " + ByteString(name), kResourceNameNotFound);
    }
    return std::make_unique<ImageBytes>(bytes);
}

}  // namespace patcher::pe

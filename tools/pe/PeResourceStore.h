#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/ResourceStore.h"

namespace patcher::pe {

// The data resources (RT_RCDATA) of a Windows program file, read on any host: what a patcher carries, for the
// tests, the benchmark and the maintainer's tool that look into one.
class PeResourceStore final : public ResourceStore {
  public:
    // Throws BrokenImage for bytes that are no well-formed program.
    explicit PeResourceStore(std::vector<std::uint8_t> image);
    // The program file at path, read whole. Throws std::runtime_error where it cannot be read, BrokenImage as
    // above.
    static std::unique_ptr<PeResourceStore> FromFile(const std::filesystem::path& path);

    // Throws PlatformError, as FindResource does (1814), where the program carries no resource of that name.
    std::unique_ptr<LoadedResource> Load(ByteStringView name) override;

    const std::vector<std::uint8_t>& Image() const noexcept { return image_; }

  private:
    std::vector<std::uint8_t> image_;
};

}  // namespace patcher::pe

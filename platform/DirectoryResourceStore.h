#pragma once

#include <filesystem>

#include "platform/ResourceStore.h"

namespace patcher {

// Packed resources kept as files DIR/<name>.packed: what a host build of the maintainers' tool uses in place
// of the resources that the Windows program carries inside itself.
class DirectoryResourceStore final : public ResourceStore {
  public:
    explicit DirectoryResourceStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

    std::unique_ptr<LoadedResource> Load(ByteStringView name) override;

    // The file that holds the resource of that name.
    std::filesystem::path FileOf(ByteStringView name) const;

  private:
    std::filesystem::path directory_;
};

}  // namespace patcher

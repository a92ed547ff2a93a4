#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "common/ByteString.h"

namespace patcher {

// The bytes of one packed resource, held for as long as this object lives.
class LoadedResource {
  public:
    virtual ~LoadedResource() = default;
    virtual std::span<const std::uint8_t> Bytes() const = 0;
};

// The packed data that a build of the patcher carries.
class ResourceStore {
  public:
    virtual ~ResourceStore() = default;

    // The whole resource of that name; throws PlatformError when the program carries none.
    virtual std::unique_ptr<LoadedResource> Load(ByteStringView name) = 0;
};

#ifdef _WIN32
// The data resources (RT_RCDATA) of the program's own module.
ResourceStore& ProgramResources();
#endif

}  // namespace patcher

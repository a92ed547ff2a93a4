#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/pe/ResourceId.h"

namespace patcher::pe {

// One resource of a section to build; its bytes lie wherever the caller keeps them.
struct ResourceView {
    const ResourceId* Type;
    const ResourceId* Name;
    std::uint16_t Language;
    std::span<const std::uint8_t> Bytes;
};

// The content of a resource section that lies at `rva`: the directory tables (root, then the types', then
// the names'), the names they point at, the data entries, then each resource's bytes on an 8-byte boundary.
// `resources` are in the tree's order (TreeOrder of type, then of name, then language), none twice.
std::vector<std::uint8_t> BuildResourceSection(std::span<const ResourceView> resources, std::uint32_t rva);

}  // namespace patcher::pe

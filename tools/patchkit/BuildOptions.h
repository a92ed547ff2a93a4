#pragma once

#include <span>

#include "common/ByteString.h"
#include "engine/untPatcher.h"
#include "tools/packer/Packer.h"

namespace patcher::patchkit {

// How a patch build packs and names its slots.
struct BuildOptions {
    packer::ParseMethod Method = packer::ParseMethod::Optimal;
    // The family's resource names, two slots per file index; a test may pass a table of its own.
    std::span<const ByteStringView, 24> ResourceNames = ResourceNameTable;
};

}  // namespace patcher::patchkit

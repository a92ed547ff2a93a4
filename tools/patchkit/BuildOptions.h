#pragma once

#include <span>
#include <string>

#include "common/ByteString.h"
#include "engine/untPatcher.h"
#include "tables/PatchTablesFormat.h"
#include "tools/packer/Packer.h"

namespace patcher::patchkit {

// How a patch build packs and names its slots.
struct BuildOptions {
    packer::ParseMethod Method = packer::ParseMethod::Optimal;
    // The family's resource names, two slots per file index; a test may pass a table of its own.
    std::span<const ByteStringView, 24> ResourceNames = ResourceNameTable;
};

// The file of a build's output that holds the tables resource (kPatchTablesResource): named as each slot's
// packed data is, <resource name>.packed, so that the resource script and a DirectoryResourceStore over the
// output find it as they find the slots.
inline std::string PatchTablesFileName() {
    return std::string(kPatchTablesResource) + ".packed";
}

}  // namespace patcher::patchkit

#pragma once

#include <filesystem>
#include <optional>
#include <span>

#include "common/ByteString.h"
#include "engine/untPatcher.h"
#include "tools/packer/Packer.h"

namespace patcher::patchkit {

// The Authenticode certificate and key that a patcher is signed with (osslsigncode), where one is.
struct Signing {
    std::filesystem::path Certificate;
    std::filesystem::path Key;
};

// How a patch build packs and names its slots, the stub it writes them into, and how it signs the patcher.
struct BuildOptions {
    packer::ParseMethod Method = packer::ParseMethod::Optimal;
    // The family's resource names, two slots per file index; a test may pass a table of its own.
    std::span<const ByteStringView, 24> ResourceNames = ResourceNameTable;
    std::filesystem::path Stub;
    std::optional<Signing> Sign;
};

}  // namespace patcher::patchkit

#pragma once

#include <optional>

#include "common/ByteString.h"

namespace patcher {

// What the command line sets of a run or a check.
struct RunOptions {
    // /DIR=: the product's folder, used instead of the registry's record whatever the product's kind.
    std::optional<ByteString> Folder;
};

}  // namespace patcher

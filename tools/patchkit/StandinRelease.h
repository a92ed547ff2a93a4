#pragma once

#include <filesystem>

#include "tools/standin/StandinGenerator.h"

namespace patcher::patchkit {

// Writes every stand-in of a family as folder/<file index>/<version>/<file name>, each file through an
// OutputTree (beside its place, renamed in, never through a link); returns how many files it wrote. Throws
// std::runtime_error naming the place as given.
int WriteStandinRelease(const std::filesystem::path& folder,
                        const standin::FamilySizes& sizes = standin::PublishedSizes());

}  // namespace patcher::patchkit

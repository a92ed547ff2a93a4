#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

// The release as a build reads it: every described build's bytes, and what can be checked of them before
// any table is picked.

// A build of the release, read whole.
struct LoadedBuild {
    const DescribedBuild* Described;
    std::vector<std::uint8_t> Bytes;
};

struct LoadedFile {
    const DescribedFile* Described;
    std::vector<LoadedBuild> Builds;

    const LoadedBuild& Newest() const { return Builds.back(); }
};

// "file 8 version 3: ", which messages about a build begin with.
std::string Label(const LoadedFile& file, const LoadedBuild& build);

// The build's path as the description writes it, for messages.
std::string PathOf(const LoadedBuild& build);

// The file of that index, which the description describes.
const LoadedFile& FileOf(const std::vector<LoadedFile>& files, int fileIndex);

// Reads every described build from inside the release folder, counting them into `figures`. Throws
// DescriptionError naming the build's line for a build that cannot be read or is empty, and
// std::runtime_error for a release folder that cannot be read.
std::vector<LoadedFile> ReadRelease(const PatchDescription& description,
                                    const std::filesystem::path& releaseFolder,
                                    BuildFigures& figures);

// What needs the files' sizes and bytes: leading samples inside their file, and versions of equal size,
// which share their samples, leading with the same ones and differing somewhere. Throws DescriptionError.
void CheckBuilds(const PatchDescription& description, const std::vector<LoadedFile>& files);

}  // namespace patcher::patchkit

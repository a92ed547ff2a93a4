#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "engine/PatchTablesFormat.h"
#include "engine/untPatcher.h"
#include "tools/packer/Packer.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

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

struct SlotFigures {
    ByteString Name;
    std::size_t Size = 0;
    std::size_t PackedSize = 0;
};

// What a build did and how long each step took, in seconds, for the maintainers to read.
struct BuildFigures {
    double Reading = 0;
    double Tables = 0;
    double Verification = 0;
    double Packing = 0;
    double Checking = 0;
    double Writing = 0;
    int FilesRead = 0;
    std::uint64_t BytesRead = 0;
    int TablesPicked = 0;
    std::uint64_t ChangedSamplesRefused = 0;
    std::vector<SlotFigures> Slots;
    int FilesWritten = 0;
    std::string Warning;  // what writing the output left undone, for the maintainer; empty when nothing
};

// Everything that `patchkit build` writes, made and checked in memory from the description and the files
// of the release folder: the tables resource, the packed slots, the .rc script of both, and Patch.cmake.
// `outDir` is where they are to lie (the script names the packed files there). Every build is read from
// inside the release folder, links resolved. Before anything is returned, every build is recognised as its
// own version by the new tables through the patcher's own recognition, every change of any one sampled byte
// makes it unrecognised, every slot unpacks to its bytes, and the tables and the packed data agree: each
// selected file's slots, put together, are its newest build, which its digest describes and the tables find
// current. Throws DescriptionError naming the description's line and the file concerned.
std::vector<OutputFile> MakePatch(const PatchDescription& description,
                                  const std::filesystem::path& releaseDir,
                                  const std::filesystem::path& outDir,
                                  const BuildOptions& options,
                                  BuildFigures& figures);

// The whole command: reads the description, makes the patch and puts it into outDir, which is replaced only
// once everything is written (ReplaceFolder); a refused build leaves outDir as it was. outDir may not be the release
// folder, hold it or the description, or lie inside the release folder, by their real paths. Throws
// DescriptionError for what the description or the release is at fault for, std::runtime_error for the rest.
BuildFigures BuildPatch(const std::string& descriptionPath,
                        const std::filesystem::path& releaseDir,
                        const std::filesystem::path& outDir,
                        const BuildOptions& options = {});

}  // namespace patcher::patchkit

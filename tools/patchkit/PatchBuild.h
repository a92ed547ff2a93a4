#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/BuildOptions.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

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

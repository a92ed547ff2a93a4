#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/BuildOptions.h"
#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {

struct ShippedPatcher;

// A patcher made in memory: the name it is to be written under, its bytes, and the resources written into the
// stub for it.
struct MadePatcher {
    std::string FileName;
    std::vector<std::uint8_t> Exe;
};

// Makes and checks the patcher of a description over the files of a release: its tables, the selected files'
// newest builds packed into their slots, and the version information, written into a copy of `stub`. Every
// build is read from inside the release folder, links resolved. Before anything is returned, every build is
// recognised as its own version by the new tables through the patcher's own recognition, every change of any
// one sampled byte makes it unrecognised, every slot unpacks to its bytes, and the patcher, read back by the
// PE reader, carries exactly what was written into a sound program whose tables and packed data agree: each
// selected file's slots, put together, are its newest build, which its digest describes and the tables find
// current. No build of the release may be one that a shipped patcher would take for an older build it knows
// and overwrite (RefuseDowngrades). Throws DescriptionError naming the description's line and the file
// concerned.
MadePatcher MakePatcher(const PatchDescription& description,
                        const std::filesystem::path& releaseDir,
                        std::span<const std::uint8_t> stub,
                        const BuildOptions& options,
                        std::span<const ShippedPatcher> shipped,
                        BuildFigures& figures);

// The whole command: reads the description and the stub (options.Stub), makes the patcher and writes it into
// outDir as <file stem>-<UpdateVersion>-patch.exe, beside its place first and renamed in, signed on the way
// where options.Sign asks for it: a refused build leaves outDir as it was. outDir may not be the release
// folder, hold it or the description, or lie inside the release folder, by their real paths. Throws
// DescriptionError for what the description or the release is at fault for, std::runtime_error for the rest.
BuildFigures BuildPatch(const std::string& descriptionPath,
                        const std::filesystem::path& releaseDir,
                        const std::filesystem::path& outDir,
                        const BuildOptions& options,
                        std::span<const ShippedPatcher> shipped = {});

}  // namespace patcher::patchkit

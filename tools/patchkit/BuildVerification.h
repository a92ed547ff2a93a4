#pragma once

#include <array>
#include <vector>

#include "engine/ContentDigests.h"
#include "engine/VersionTables.h"
#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/BuildOptions.h"
#include "tools/patchkit/DerivedTables.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {

// Every build is recognised as itself, by the patcher's own algorithm over the new tables, and no longer
// recognised at all once any one of its sampled bytes holds any other value; the changed samples are
// counted into `figures`. Throws DescriptionError naming the build.
void Verify(const PatchDescription& description,
            const std::vector<LoadedFile>& files,
            const DerivedTables& tables,
            BuildFigures& figures);

// The tables that the generated sources hold and the packed data that the build writes, checked against
// each other as the patcher will use them: one signature table for every known build and no other, each
// file's digest that of its newest build, and each selected file's packed slots, unpacked and put together
// as the patcher's rewrite does, giving exactly its newest build, which the new tables recognise as current.
// A disagreement is a fault of this tool, never a patcher to ship: it throws DescriptionError.
void CrossCheck(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const std::vector<standin::PickedTable>& picked,
                const DerivedTables& tables,
                const std::array<ContentDigest, kFileCount>& digests,
                const std::vector<OutputFile>& output,
                const BuildOptions& options);

}  // namespace patcher::patchkit

#pragma once

#include <vector>

#include "tables/PatchTables.h"
#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/BuildOptions.h"
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
            const PatchTables& tables,
            BuildFigures& figures);

// The tables resource and the packed data that the build writes, checked against each other as the patcher
// will use them: the tables as the patcher reads them back from the resource are those derived, with the
// picked samples of every known build and no other, each file's digest that of its newest build; and each
// selected file's packed slots, unpacked and put together as the patcher's rewrite does, give exactly its newest
// build, which the tables recognise as current. A disagreement is a fault of this tool, never a patcher to ship:
// it throws DescriptionError.
void CrossCheck(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const std::vector<standin::PickedTable>& picked,
                const PatchTables& tables,
                const std::vector<OutputFile>& output,
                const BuildOptions& options);

}  // namespace patcher::patchkit

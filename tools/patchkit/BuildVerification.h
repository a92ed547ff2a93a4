#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tables/PatchTables.h"
#include "tools/patchkit/BuildFigures.h"
#include "tools/patchkit/BuildOptions.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/pe/ResourceWriter.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {

// Every build is recognised as itself, by the patcher's own algorithm over the new tables, and no longer
// recognised at all once any one of its sampled bytes holds any other value; the changed samples are
// counted into `figures`. Throws DescriptionError naming the build.
void Verify(const PatchDescription& description,
            const std::vector<LoadedFile>& files,
            const PatchTables& tables,
            BuildFigures& figures);

// The patcher made, read back by the PE reader alone (not the writer's code) and checked as the patcher and
// Windows will use it: its headers (an image as large as its sections, no data after the last, no
// certificate, the checksum of the file), every resource byte for byte (those written and the stub's own);
// its tables as the patcher reads them back are those derived, with the picked samples of every known build
// and no other, each file's digest that of its newest build; and each selected file's packed slots, unpacked
// and put together as the patcher's rewrite does, give exactly its newest build, which the tables recognise
// as current. A disagreement is a fault of this tool, never a patcher to ship: it throws DescriptionError.
void CrossCheck(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const std::vector<standin::PickedTable>& picked,
                const PatchTables& tables,
                std::span<const std::uint8_t> exe,
                std::span<const std::uint8_t> stub,
                const std::vector<pe::PeResource>& written,
                const BuildOptions& options);

}  // namespace patcher::patchkit

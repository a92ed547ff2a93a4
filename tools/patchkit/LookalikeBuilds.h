#pragma once

#include <cstdint>
#include <vector>

#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {

// Builds of one file and one size share their samples, and the patcher tells them apart by the samples where
// their bytes differ. Where fewer than two samples differ, one byte changed there (a damaged disk, another
// program) turns either build into the other, so the patcher could rewrite a file it should leave alone, or
// leave one it should rewrite.

// Refuses every pair of builds of one size whose picked samples differ in fewer than two places. Throws
// DescriptionError naming the later build's line, both builds, the offsets where they differ and what to do.
void RefuseLookalikes(const PatchDescription& description,
                      const std::vector<LoadedFile>& files,
                      const std::vector<standin::PickedTable>& picked);

// The refusal of one such pair of `file`: `sampled` are the offsets among their samples where they differ.
[[noreturn]] void RefuseLookalike(const PatchDescription& description,
                                  const LoadedFile& file,
                                  const LoadedBuild& earlier,
                                  const LoadedBuild& later,
                                  const std::vector<std::int32_t>& sampled);

}  // namespace patcher::patchkit

#pragma once

#include <cstdint>
#include <vector>

#include "engine/SignatureTables.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::standin {

struct PickedTable {
    int FileIndex;
    int Version;
    SignatureTable Entries;
};

// The samples that a table starts with, before the picked ones: the header check of the programs whose
// tables test it, and the samples that the published tables of the product fix.
std::vector<std::int32_t> LeadingOffsets(int fileIndex, std::int32_t size);

// Picks the 50 samples of every known build from the stand-ins: distinct offsets spread over the whole file
// (one in each of equal strata after the leading ones), in a shuffled order. Versions of one file with equal
// sizes share their offsets, and where a stratum holds bytes in which they differ the sample is taken there,
// so that every such version is told apart from the others. Throws std::logic_error if the stand-ins cannot
// tell two versions of equal size apart. Tables come in file and version order.
std::vector<PickedTable> PickSignatureTables(StandinBuilds& builds);

}  // namespace patcher::standin

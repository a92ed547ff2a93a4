#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteString.h"

namespace patcher::patchkit {

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
    double Assembling = 0;
    double Checking = 0;
    double Signing = 0;
    double Writing = 0;
    int FilesRead = 0;
    std::uint64_t BytesRead = 0;
    int TablesPicked = 0;
    std::uint64_t ChangedSamplesRefused = 0;
    std::vector<SlotFigures> Slots;
    std::string ExeName;
    std::uint64_t ExeBytes = 0;
};

}  // namespace patcher::patchkit

#include "engine/VersionTables.h"

namespace patcher {
namespace {

using SizeRow = std::array<std::int32_t, kMaxVersions>;

// Row i - 1 holds file index i; column v - 1 holds version v.
constexpr std::array<SizeRow, kFileCount> kVersionSize = {{
    {1929728, 1971200, 2038272, 2031616, 2031616, 2075648, 2075648, 2123776, 2249728, 2300928, 2288640},
    {991232, 0, 0, 1187328},  // VokarInt.exe knows versions 1 and 4 only
    {979968, 977920, 1107968},
    {1183232, 1205248},
    {1072640, 1094656},
    {710656, 713216},
    {710656, 713216},
    {2050048, 2143744, 2155008},
    {407686},
    {17567},
    {724992, 601088},
    {1434624, 1486848},
}};

constexpr std::array<std::int32_t, kFileCount> kNewestVersion = {11, 4, 3, 2, 2, 2, 2, 3, 1, 1, 2, 2};

// The newest version is the highest one with a size: checked here so that the two tables cannot drift.
constexpr bool NewestMatchesSizes() {
    for (int file = 0; file < kFileCount; ++file) {
        int highest = 0;
        for (int version = 0; version < kMaxVersions; ++version) {
            if (kVersionSize[file][version] != 0) {
                highest = version + 1;
            }
        }
        if (highest != kNewestVersion[file]) {
            return false;
        }
    }
    return true;
}
static_assert(NewestMatchesSizes());

}  // namespace

std::int32_t VersionSize(int fileIndex, int version) {
    if (fileIndex < 1 || fileIndex > kFileCount || version < 1 || version > kMaxVersions) {
        return 0;
    }
    return kVersionSize[fileIndex - 1][version - 1];
}

std::int32_t NewestVersion(int fileIndex) {
    if (fileIndex < 1 || fileIndex > kFileCount) {
        return 0;
    }
    return kNewestVersion[fileIndex - 1];
}

}  // namespace patcher

#include "tools/patchkit/StandinRelease.h"

#include <string>

#include "common/FileIndex.h"
#include "profile/ProductProfile.h"
#include "tools/patchkit/OutputFolder.h"

namespace patcher::patchkit {

int WriteStandinRelease(const std::filesystem::path& folder, const standin::FamilySizes& sizes) {
    const OutputTree tree(folder);
    standin::StandinBuilds builds(sizes);
    int written = 0;
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        for (const int version : standin::KnownVersions(fileIndex, sizes)) {
            tree.Put(std::filesystem::path(std::to_string(fileIndex)) / std::to_string(version) /
                         std::string(FileName(fileIndex)),
                     builds.Get(fileIndex, version));
            ++written;
        }
    }
    return written;
}

}  // namespace patcher::patchkit

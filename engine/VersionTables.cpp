// The accessors that recognition and the rewrite read, over the tables installed at start-up.
#include "engine/VersionTables.h"

#include "engine/ContentDigests.h"
#include "engine/SignatureTables.h"

namespace patcher {

std::int32_t VersionSize(int fileIndex, int version) {
    return InstalledPatchTables().VersionSize(fileIndex, version);
}

std::int32_t NewestVersion(int fileIndex) {
    return InstalledPatchTables().NewestVersion(fileIndex);
}

const SignatureTable* FindSignatureTable(int fileIndex, int version) {
    return InstalledPatchTables().FindSignatureTable(fileIndex, version);
}

const ContentDigest* NewContentDigest(int fileIndex) {
    return InstalledPatchTables().NewContentDigest(fileIndex);
}

}  // namespace patcher

#include "tables/PatchTables.h"

#include <memory>
#include <stdexcept>


namespace patcher {
namespace {

const FileTables kNoFile;

// The one copy of the process: set once by InstallPatchTables, never changed or freed afterwards, so that every
// reference handed out stays valid for the life of the program.
std::unique_ptr<const PatchTables>& Installed() {
    static std::unique_ptr<const PatchTables> tables;
    return tables;
}

}  // namespace

const FileTables& PatchTables::File(int fileIndex) const {
    if (fileIndex < 1 || fileIndex > kFileCount) {
        return kNoFile;
    }
    return Files[static_cast<std::size_t>(fileIndex - 1)];
}

const KnownVersion* PatchTables::FindVersion(int fileIndex, int number) const {
    for (const KnownVersion& version : Versions(fileIndex)) {
        if (version.Number == number) {
            return &version;
        }
    }
    return nullptr;
}

std::int32_t PatchTables::VersionSize(int fileIndex, int version) const {
    const KnownVersion* found = FindVersion(fileIndex, version);
    return found != nullptr ? found->Size : 0;
}

std::int32_t PatchTables::NewestVersion(int fileIndex) const {
    return File(fileIndex).Newest;
}

const SignatureTable* PatchTables::FindSignatureTable(int fileIndex, int version) const {
    const KnownVersion* found = FindVersion(fileIndex, version);
    return found != nullptr ? &found->Samples : nullptr;
}

const ContentDigest* PatchTables::NewContentDigest(int fileIndex) const {
    const FileTables& file = File(fileIndex);
    return file.NewContent.Size != 0 ? &file.NewContent : nullptr;
}

bool PatchTables::Selects(int fileIndex) const {
    if (fileIndex < 0 || fileIndex > 255) {
        return false;
    }
    return (SelectedFiles[static_cast<std::size_t>(fileIndex / 8)] >> (fileIndex % 8) & 1) != 0;
}

void InstallPatchTables(PatchTables tables) {
    if (Installed()) {
        throw std::logic_error("the patch tables are installed already");
    }
    Installed() = std::make_unique<const PatchTables>(std::move(tables));
}

const PatchTables& InstalledPatchTables() {
    if (!Installed()) {
        throw std::logic_error("no patch tables are installed");
    }
    return *Installed();
}

}  // namespace patcher

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/SignatureTables.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "tools/patchkit/PatchDescription.h"
#include "tools/patchkit/PatchSources.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {

// The signature tables of every known build, picked from the release's files. Throws DescriptionError
// naming the build whose samples cannot tell it from the others.
std::vector<standin::PickedTable> PickTables(const PatchDescription& description, const std::vector<LoadedFile>& files);

// Tables that recognition runs over before they are written out: the sizes and newest versions of the
// release's files, and the picked signature tables.
class DerivedTables final : public VersionTableView {
  public:
    DerivedTables(const std::vector<LoadedFile>& files, const std::vector<standin::PickedTable>& tables);

    std::int32_t VersionSize(int fileIndex, int version) const override;
    std::int32_t NewestVersion(int fileIndex) const override;
    const SignatureTable* FindSignatureTable(int fileIndex, int version) const override;

    const SizeTable& Sizes() const { return sizes_; }

  private:
    SizeTable sizes_{};
    std::array<int, kFileCount> newest_{};
    std::array<std::array<std::optional<SignatureTable>, kMaxVersions>, kFileCount> tables_{};
};

}  // namespace patcher::patchkit

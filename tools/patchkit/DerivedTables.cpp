#include "tools/patchkit/DerivedTables.h"

#include <algorithm>
#include <string>

#include "tables/Crc32.h"
#include "tools/patchkit/LookalikeBuilds.h"

namespace patcher::patchkit {

std::vector<standin::PickedTable> PickTables(const PatchDescription& description,
                                             const std::vector<LoadedFile>& files) {
    std::vector<standin::KnownFile> known;
    for (const LoadedFile& file : files) {
        standin::KnownFile entry{file.Described->FileIndex, {}};
        for (const LoadedBuild& build : file.Builds) {
            entry.Builds.push_back({build.Described->Version, build.Bytes, build.Described->Leading});
        }
        known.push_back(std::move(entry));
    }
    std::vector<standin::PickedTable> picked;
    try {
        picked = standin::PickSignatureTables(known);
    } catch (const standin::PickError& error) {
        if (error.OtherVersion != 0) {
            const LoadedFile& file = FileOf(files, error.FileIndex);
            const auto build = [&](int version) -> const LoadedBuild& {
                return *std::find_if(file.Builds.begin(), file.Builds.end(),
                                     [&](const LoadedBuild& b) { return b.Described->Version == version; });
            };
            RefuseLookalike(description, file, build(error.OtherVersion), build(error.Version), {});
        }
        for (const LoadedFile& file : files) {
            for (const LoadedBuild& build : file.Builds) {
                if (file.Described->FileIndex == error.FileIndex && build.Described->Version == error.Version) {
                    description.Refuse(build.Described->Line, Label(file, build) + PathOf(build) + " (" +
                                                                  std::to_string(build.Bytes.size()) +
                                                                  " bytes): " + error.what());
                }
            }
        }
        throw;
    }
    RefuseLookalikes(description, files, picked);
    return picked;
}

PatchTables DerivePatchTables(const PatchDescription& description,
                              const std::vector<LoadedFile>& files,
                              const std::vector<standin::PickedTable>& picked) {
    PatchTables tables;
    tables.ProductIndex = description.ProductIndex;
    tables.ProductLanguage = description.ProductLanguage;
    tables.ProductKind = description.ProductKind;
    for (const int file : description.SelectedFiles) {
        tables.SelectedFiles[static_cast<std::size_t>(file / 8)] |= static_cast<std::uint8_t>(1u << (file % 8));
    }
    tables.UpdateIndex = description.UpdateIndex;
    tables.UpdateTitle = description.UpdateTitle;
    tables.UpdateVersion = description.UpdateVersion;
    for (const LoadedFile& file : files) {
        const int fileIndex = file.Described->FileIndex;
        FileTables& row = tables.Files[static_cast<std::size_t>(fileIndex - 1)];
        for (const LoadedBuild& build : file.Builds) {
            KnownVersion version{build.Described->Version, static_cast<std::int32_t>(build.Bytes.size()), {}};
            for (const standin::PickedTable& table : picked) {
                if (table.FileIndex == fileIndex && table.Version == version.Number) {
                    version.Samples = table.Entries;
                }
            }
            row.Versions.push_back(version);
        }
        row.Newest = file.Newest().Described->Version;
        row.NewContent = {static_cast<std::int32_t>(file.Newest().Bytes.size()), Crc32(file.Newest().Bytes)};
    }
    return tables;
}

}  // namespace patcher::patchkit

#include "tools/patchkit/DerivedTables.h"

#include <string>

namespace patcher::patchkit {
namespace {

bool InTable(int fileIndex, int version) {
    return fileIndex >= 1 && fileIndex <= kFileCount && version >= 1 && version <= kMaxVersions;
}

std::size_t Row(int fileIndex) {
    return static_cast<std::size_t>(fileIndex - 1);
}

std::size_t Column(int version) {
    return static_cast<std::size_t>(version - 1);
}

}  // namespace

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
    try {
        return standin::PickSignatureTables(known);
    } catch (const standin::PickError& error) {
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
}

DerivedTables::DerivedTables(const std::vector<LoadedFile>& files, const std::vector<standin::PickedTable>& tables) {
    for (const LoadedFile& file : files) {
        const std::size_t row = Row(file.Described->FileIndex);
        for (const LoadedBuild& build : file.Builds) {
            sizes_[row][Column(build.Described->Version)] = static_cast<std::int32_t>(build.Bytes.size());
            newest_[row] = build.Described->Version;
        }
    }
    for (const standin::PickedTable& table : tables) {
        tables_[Row(table.FileIndex)][Column(table.Version)] = table.Entries;
    }
}

std::int32_t DerivedTables::VersionSize(int fileIndex, int version) const {
    return InTable(fileIndex, version) ? sizes_[Row(fileIndex)][Column(version)] : 0;
}

std::int32_t DerivedTables::NewestVersion(int fileIndex) const {
    return InTable(fileIndex, 1) ? newest_[Row(fileIndex)] : 0;
}

const SignatureTable* DerivedTables::FindSignatureTable(int fileIndex, int version) const {
    if (!InTable(fileIndex, version)) {
        return nullptr;
    }
    const auto& table = tables_[Row(fileIndex)][Column(version)];
    return table ? &*table : nullptr;
}

}  // namespace patcher::patchkit

#include "engine/untPatcher.h"

#include <exception>
#include <memory>

#include "engine/SignatureTables.h"
#include "engine/VersionTables.h"

namespace patcher {
namespace {

bool SamplesMatch(ReadableFile& file, const SignatureTable& table) {
    for (const SignatureEntry& entry : table) {
        file.Seek(entry.Offset);
        if (file.ReadByte() != entry.Expected) {
            return false;
        }
    }
    return true;
}

class CompiledTables final : public VersionTableView {
  public:
    std::int32_t VersionSize(int fileIndex, int version) const override {
        return patcher::VersionSize(fileIndex, version);
    }
    std::int32_t NewestVersion(int fileIndex) const override { return patcher::NewestVersion(fileIndex); }
    const SignatureTable* FindSignatureTable(int fileIndex, int version) const override {
        return patcher::FindSignatureTable(fileIndex, version);
    }
};

}  // namespace

const VersionTableView& CompiledVersionTables() {
    static const CompiledTables tables;
    return tables;
}

const char* CheckResultName(CheckResult result) {
    switch (result) {
        case CheckResult::Current:
            return "Current";
        case CheckResult::OutOfDate:
            return "OutOfDate";
        case CheckResult::NotRecognised:
            return "NotRecognised";
        case CheckResult::Unreadable:
            return "Unreadable";
    }
    return "Unknown";
}

Recognition IdentifyOpenFile(int fileIndex, ReadableFile& file, const VersionTableView& tables) {
    try {
        const std::int64_t size = file.Size();
        if (size <= 0) {
            return {};
        }
        // Versions of equal size are told apart by their samples; the lowest version that matches wins.
        for (int version = 1; version <= kMaxVersions; ++version) {
            const SignatureTable* table = tables.FindSignatureTable(fileIndex, version);
            if (table == nullptr || tables.VersionSize(fileIndex, version) != size || !SamplesMatch(file, *table)) {
                continue;
            }
            const bool newest = version == tables.NewestVersion(fileIndex);
            return {newest ? CheckResult::Current : CheckResult::OutOfDate, version};
        }
        return {};
    } catch (const std::exception&) {
        // Whatever the loop had found so far, a failed read makes the answer Unreadable.
        return {CheckResult::Unreadable, 0};
    }
}

Recognition IdentifyFileVersion(int fileIndex, ByteStringView path, FileSystem& files, const VersionTableView& tables) {
    std::unique_ptr<ReadableFile> file;
    try {
        file = files.OpenForReading(path);
    } catch (const std::exception&) {
        return {CheckResult::Unreadable, 0};
    }
    return IdentifyOpenFile(fileIndex, *file, tables);
}

}  // namespace patcher

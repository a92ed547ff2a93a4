#include "engine/untPatcher.h"

#include <exception>

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

}  // namespace

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

Recognition IdentifyFileVersion(int fileIndex, ByteStringView path, FileSystem& files) {
    try {
        const auto file = files.OpenForReading(path);
        const std::int64_t size = file->Size();
        if (size <= 0) {
            return {};
        }
        // Versions of equal size are told apart by their samples; the lowest version that matches wins.
        for (int version = 1; version <= kMaxVersions; ++version) {
            const SignatureTable* table = FindSignatureTable(fileIndex, version);
            if (table == nullptr || VersionSize(fileIndex, version) != size || !SamplesMatch(*file, *table)) {
                continue;
            }
            const bool newest = version == NewestVersion(fileIndex);
            return {newest ? CheckResult::Current : CheckResult::OutOfDate, version};
        }
        return {};
    } catch (const std::exception&) {
        // Whatever the loop had found so far, a failed read makes the answer Unreadable.
        return {CheckResult::Unreadable, 0};
    }
}

}  // namespace patcher

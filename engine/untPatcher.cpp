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

// Throws where a read fails.
Recognition Identify(int fileIndex, ReadableFile& file, const VersionTableView& tables) {
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
        Recognition found;
        found.Result = version == tables.NewestVersion(fileIndex) ? CheckResult::Current : CheckResult::OutOfDate;
        found.Version = version;
        return found;
    }
    return {};
}

Recognition Unreadable(const std::exception_ptr& error) {
    Recognition recognition;
    recognition.Result = CheckResult::Unreadable;
    recognition.Failure = FailureOf(error);
    return recognition;
}

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
        return Identify(fileIndex, file, tables);
    } catch (...) {
        // Whatever the loop had found so far, a failed read makes the answer Unreadable.
        return Unreadable(std::current_exception());
    }
}

Recognition IdentifyOpenFileOrThrow(int fileIndex, ReadableFile& file, const VersionTableView& tables) {
    return Identify(fileIndex, file, tables);
}

Recognition IdentifyFileVersion(int fileIndex,
                                ByteStringView path,
                                FileSystem& files,
                                InUseWait& wait,
                                const VersionTableView& tables) {
    Recognition recognition;
    try {
        // A lock on part of the file can stop a read as well as the open: the whole look is tried again.
        wait.Retry([&] {
            const std::unique_ptr<ReadableFile> file = files.OpenForReading(path);
            recognition = Identify(fileIndex, *file, tables);
        });
    } catch (...) {
        recognition = Unreadable(std::current_exception());
    }
    return recognition;
}

Recognition IdentifyFileVersion(int fileIndex, ByteStringView path, FileSystem& files, const VersionTableView& tables) {
    InUseWait atOnce;
    return IdentifyFileVersion(fileIndex, path, files, atOnce, tables);
}

}  // namespace patcher

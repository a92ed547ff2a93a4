#include "engine/untPatcher.h"

#include <exception>
#include <memory>

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

// Throws where a read fails.
Recognition Identify(int fileIndex, ReadableFile& file, const PatchTables& tables) {
    const std::int64_t size = file.Size();
    if (size <= 0) {
        return {};
    }
    // Versions of equal size are told apart by their samples; the lowest number that matches wins.
    for (const KnownVersion& version : tables.Versions(fileIndex)) {
        if (version.Size != size || !SamplesMatch(file, version.Samples)) {
            continue;
        }
        Recognition found;
        found.Result =
            version.Number == tables.NewestVersion(fileIndex) ? CheckResult::Current : CheckResult::OutOfDate;
        found.Version = version.Number;
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

Recognition IdentifyOpenFile(int fileIndex, ReadableFile& file, const PatchTables& tables) {
    try {
        return Identify(fileIndex, file, tables);
    } catch (...) {
        // Whatever the loop had found so far, a failed read makes the answer Unreadable.
        return Unreadable(std::current_exception());
    }
}

Recognition IdentifyOpenFileOrThrow(int fileIndex, ReadableFile& file, const PatchTables& tables) {
    return Identify(fileIndex, file, tables);
}

Recognition IdentifyFileVersion(int fileIndex,
                                ByteStringView path,
                                FileSystem& files,
                                InUseWait& wait,
                                const PatchTables& tables) {
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

Recognition IdentifyFileVersion(int fileIndex, ByteStringView path, FileSystem& files, const PatchTables& tables) {
    InUseWait atOnce;
    return IdentifyFileVersion(fileIndex, path, files, atOnce, tables);
}

}  // namespace patcher

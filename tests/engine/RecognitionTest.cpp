#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/UniqueHandle.h"
#endif

#include "engine/SignatureTables.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "profile/ProductProfile.h"
#include "tests/support/BuildData.h"
#include "tests/support/FakeClock.h"
#include "tests/support/InstalledBuildTables.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/TempDir.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher {
namespace {

using testing::MemoryFileSystem;
using testing::Standins;

Recognition RecogniseBytes(int fileIndex, std::vector<std::uint8_t> bytes, MemoryFileSystem& files) {
    files.AddFile("C:\\Vokarion\\file", std::move(bytes));
    return IdentifyFileVersion(fileIndex, "C:\\Vokarion\\file", files);
}

TEST(Recognition, KnowsEveryStandinAsItsOwnVersion) {
    for (int file = 1; file <= kFileCount; ++file) {
        for (const int version : standin::KnownVersions(file)) {
            MemoryFileSystem files;
            const Recognition found = RecogniseBytes(file, Standins().Get(file, version), files);
            const CheckResult expected = version == NewestVersion(file) ? CheckResult::Current : CheckResult::OutOfDate;
            EXPECT_EQ(found.Result, expected) << "file " << file << " version " << version;
            EXPECT_EQ(found.Version, version) << "file " << file;
            EXPECT_EQ(files.Count().OpenHandles, 0);
        }
    }
}

TEST(Recognition, TellsEqualSizedVersionsApartLowestFirst) {
    // Version 7 is compared with version 6 first, which fails at its fifth sample.
    MemoryFileSystem files;
    const Recognition seven = RecogniseBytes(1, Standins().Get(1, 7), files);
    EXPECT_EQ(seven.Result, CheckResult::OutOfDate);
    EXPECT_EQ(seven.Version, 7);
    EXPECT_EQ(files.Count().Reads, 5 + kSignatureEntries);

    MemoryFileSystem sixFiles;
    EXPECT_EQ(RecogniseBytes(1, Standins().Get(1, 6), sixFiles).Version, 6);
    EXPECT_EQ(sixFiles.Count().Reads, kSignatureEntries);  // version 7 is never examined

    MemoryFileSystem fourFiles, fiveFiles;
    EXPECT_EQ(RecogniseBytes(1, Standins().Get(1, 4), fourFiles).Version, 4);
    EXPECT_EQ(RecogniseBytes(1, Standins().Get(1, 5), fiveFiles).Version, 5);
}

TEST(Recognition, OneChangedSampleMakesAFileUnknown) {
    const SignatureTable& newest = *FindSignatureTable(1, 11);
    for (const int sample : {0, 17, kSignatureEntries - 1}) {
        auto bytes = Standins().Get(1, 11);
        bytes[static_cast<std::size_t>(newest[sample].Offset)] ^= 0x01;
        MemoryFileSystem files;
        const Recognition found = RecogniseBytes(1, bytes, files);
        EXPECT_EQ(found.Result, CheckResult::NotRecognised) << "sample " << sample;
        EXPECT_EQ(found.Version, 0);
        EXPECT_EQ(files.Count().Reads, sample + 1) << "stops at the first difference";
    }
}

TEST(Recognition, ReadsNothingWhenNoVersionHasTheSize) {
    MemoryFileSystem empty;
    EXPECT_EQ(RecogniseBytes(1, {}, empty).Result, CheckResult::NotRecognised);
    EXPECT_EQ(empty.Count().Reads, 0);
    EXPECT_EQ(empty.Count().Seeks, 0);

    auto longer = Standins().Get(1, 11);
    longer.push_back(0);
    MemoryFileSystem unknown;
    EXPECT_EQ(RecogniseBytes(1, longer, unknown).Result, CheckResult::NotRecognised);
    EXPECT_EQ(unknown.Count().Reads, 0);
    EXPECT_EQ(unknown.Count().OpenHandles, 0);
}

TEST(Recognition, JudgesAFileOnlyByTheTablesOfItsOwnIndex) {
    // Files 6 and 7 have builds of equal sizes but tables of their own.
    MemoryFileSystem files;
    EXPECT_EQ(RecogniseBytes(7, Standins().Get(6, 2), files).Result, CheckResult::NotRecognised);
    MemoryFileSystem second;
    EXPECT_EQ(RecogniseBytes(6, Standins().Get(6, 2), second).Result, CheckResult::Current);
    // File 2 knows versions 1 and 4 only.
    MemoryFileSystem third;
    EXPECT_EQ(RecogniseBytes(2, Standins().Get(2, 1), third).Version, 1);
}

TEST(Recognition, AnyFailedReadMakesTheFileUnreadableAndClosesIt) {
    MemoryFileSystem unopenable;
    unopenable.AddFile("locked", Standins().Get(1, 11));
    unopenable.FailOpen("locked");
    EXPECT_EQ(IdentifyFileVersion(1, "locked", unopenable).Result, CheckResult::Unreadable);

    MemoryFileSystem missing;
    EXPECT_EQ(IdentifyFileVersion(1, "absent", missing).Result, CheckResult::Unreadable);

    MemoryFileSystem unsized;
    unsized.FailSize();
    EXPECT_EQ(RecogniseBytes(1, Standins().Get(1, 11), unsized).Result, CheckResult::Unreadable);
    EXPECT_EQ(unsized.Count().OpenHandles, 0);

    // A read that fails part-way, even after a version's samples already failed to match.
    for (const int successfulReads : {0, 4, 49}) {
        MemoryFileSystem failing;
        failing.FailReadAfter(successfulReads);
        const Recognition found = RecogniseBytes(1, Standins().Get(1, 7), failing);
        EXPECT_EQ(found.Result, CheckResult::Unreadable) << successfulReads;
        EXPECT_EQ(found.Version, 0);
        EXPECT_EQ(failing.Count().OpenHandles, 0);
    }
}

// A file that another program holds is waited for as the caller says, and then read; held for longer, it is
// Unreadable because of that, and the log can say so.
TEST(Recognition, WaitsForAFileThatAnotherProgramHolds) {
    testing::FakeClock clock;
    MemoryFileSystem briefly;
    briefly.AddFile("C:\\Vokarion\\VokarEn.exe", Standins().Get(1, 7));
    briefly.HoldFiles(0, 0, 3);
    testing::FakeClockPauses pauses(clock);
    InUseWait wait(pauses, std::chrono::seconds(1), clock);
    const Recognition released = IdentifyFileVersion(1, "C:\\Vokarion\\VokarEn.exe", briefly, wait);
    EXPECT_EQ(released.Result, CheckResult::OutOfDate);
    EXPECT_EQ(pauses.Pauses, 3);
    EXPECT_EQ(wait.Waited(), 3 * kInUsePause);

    MemoryFileSystem forever;
    forever.AddFile("C:\\Vokarion\\VokarEn.exe", Standins().Get(1, 7));
    forever.HoldFiles(0, 0, -1);
    testing::FakeClockPauses patient(clock);
    InUseWait patience(patient, std::chrono::seconds(1), clock);
    const Recognition held = IdentifyFileVersion(1, "C:\\Vokarion\\VokarEn.exe", forever, patience);
    EXPECT_EQ(held.Result, CheckResult::Unreadable);
    EXPECT_EQ(held.Failure.Fault, FileFault::InUse);
    EXPECT_EQ(held.Failure.SystemCode, 32u);
    EXPECT_EQ(patience.Waited(), std::chrono::seconds(1));

    // Without a wait, at once; and a file that is simply missing is never waited for.
    MemoryFileSystem missing;
    testing::FakeClockPauses unused(clock);
    InUseWait unspent(unused, std::chrono::seconds(1), clock);
    EXPECT_EQ(IdentifyFileVersion(1, "absent", missing, unspent).Failure.Fault, FileFault::NotFound);
    EXPECT_EQ(unused.Pauses, 0);
}

// A build of `size` bytes whose samples are its first 50 bytes, i, with the last one `last`.
KnownVersion Build(int number, std::int32_t size, std::uint8_t last) {
    KnownVersion version{number, size, {}};
    for (int i = 0; i < kSignatureEntries; ++i) {
        version.Samples[static_cast<std::size_t>(i)] = {i, static_cast<std::uint8_t>(i)};
    }
    version.Samples.back().Expected = last;
    return version;
}

// Bytes that build `Build(n, size, last)` matches.
std::vector<std::uint8_t> BytesOf(std::size_t size, std::uint8_t last) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < kSignatureEntries; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    bytes[kSignatureEntries - 1] = last;
    return bytes;
}

// Tables held in memory, as the maintainers' tool derives them before it writes them out: file 3 knows two
// 64-byte builds, versions 2 and 5, told apart by their last sample.
PatchTables TwoBuildTables() {
    PatchTables tables;
    FileTables& file = tables.Files[3 - 1];
    file.Versions = {Build(2, 64, 49), Build(5, 64, 0xEE)};
    file.Newest = 5;
    return tables;
}

TEST(Recognition, JudgesByTheTablesItIsGiven) {
    const PatchTables tables = TwoBuildTables();
    MemoryFileSystem files;
    files.AddFile("older", BytesOf(64, 49));
    files.AddFile("newer", BytesOf(64, 0xEE));
    std::vector<std::uint8_t> neither = BytesOf(64, 0xEE);
    neither[10] = 0xFF;
    files.AddFile("neither", neither);

    const Recognition older = IdentifyFileVersion(3, "older", files, tables);
    EXPECT_EQ(older.Result, CheckResult::OutOfDate);
    EXPECT_EQ(older.Version, 2);
    const Recognition newer = IdentifyFileVersion(3, "newer", files, tables);
    EXPECT_EQ(newer.Result, CheckResult::Current);
    EXPECT_EQ(newer.Version, 5);
    EXPECT_EQ(IdentifyFileVersion(3, "neither", files, tables).Result, CheckResult::NotRecognised);
    EXPECT_EQ(IdentifyFileVersion(3, "absent", files, tables).Result, CheckResult::Unreadable);
    // The build's tables know no 64-byte build; an open file is judged the same way.
    EXPECT_EQ(IdentifyFileVersion(3, "older", files).Result, CheckResult::NotRecognised);
    const auto open = files.OpenForReading("newer");
    EXPECT_EQ(IdentifyOpenFile(3, *open, tables).Version, 5);
}

// Numbers are the description's, kept when older builds are dropped: past 11 and up to 255, with gaps. The
// versions are walked in ascending numbers, and of two that match, the lower wins; the highest is current.
TEST(Recognition, KnowsBuildsPastElevenAndAcrossGapsByTheirOwnNumbers) {
    PatchTables tables;
    FileTables& file = tables.Files[1 - 1];
    file.Versions = {Build(7, 100, 7),   Build(12, 200, 12),  Build(40, 200, 40),
                     Build(41, 300, 41), Build(200, 300, 41), Build(255, 400, 0xFF)};
    file.Newest = 255;
    const auto found = [&](std::size_t size, std::uint8_t last) {
        MemoryFileSystem files;
        files.AddFile("VokarEn.exe", BytesOf(size, last));
        return IdentifyFileVersion(1, "VokarEn.exe", files, tables);
    };
    EXPECT_EQ(found(100, 7).Version, 7);
    EXPECT_EQ(found(200, 12).Version, 12);
    EXPECT_EQ(found(200, 40).Version, 40);
    EXPECT_EQ(found(200, 40).Result, CheckResult::OutOfDate);
    // Builds 41 and 200 have the same size and samples: the lower number is the one found.
    EXPECT_EQ(found(300, 41).Version, 41);
    const Recognition newest = found(400, 0xFF);
    EXPECT_EQ(newest.Result, CheckResult::Current);
    EXPECT_EQ(newest.Version, 255);
    // No number between the known ones is ever made up.
    EXPECT_EQ(found(200, 13).Result, CheckResult::NotRecognised);
    EXPECT_EQ(found(200, 13).Version, 0);
}

TEST(Recognition, WorksOnRealFiles) {
    testing::TempDir dir;
    for (const int version : standin::KnownVersions(1)) {
        const auto& bytes = Standins().Get(1, version);
        const std::string path = dir.Write(std::string(FileName(1)), {bytes.begin(), bytes.end()});
        const Recognition found = IdentifyFileVersion(1, path, SystemFileSystem());
        EXPECT_EQ(found.Version, version);
        EXPECT_EQ(found.Result, version == 11 ? CheckResult::Current : CheckResult::OutOfDate);
    }
    // A directory where the file should be cannot be read as one.
    std::filesystem::create_directory(dir.Path() / "VokarD.chm");
    EXPECT_EQ(RecogniseFileVersion(9, dir.File("VokarD.chm"), SystemFileSystem()), CheckResult::Unreadable);
}

#ifdef _WIN32
TEST(Recognition, AFileHeldWithoutSharingIsUnreadable) {
    testing::TempDir dir;
    const auto& bytes = Standins().Get(1, 9);
    const std::string path = dir.Write("VokarEn.exe", {bytes.begin(), bytes.end()});
    {
        win32::UniqueFileHandle holder(
            ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(RecogniseFileVersion(1, path, SystemFileSystem()), CheckResult::Unreadable);
    }
    // Recognition closed its own handle: once the holder lets go, the file can be opened exclusively.
    EXPECT_EQ(RecogniseFileVersion(1, path, SystemFileSystem()), CheckResult::OutOfDate);
    win32::UniqueFileHandle exclusive(
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(exclusive);
}
#endif

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/Crc32.h"
#include "tables/PatchTables.h"
#include "tables/PatchTablesFormat.h"
#include "platform/PlatformError.h"
#include "tests/support/InstalledBuildTables.h"
#include "tests/support/MemoryResourceStore.h"

namespace patcher {
namespace {

using Bytes = std::vector<std::uint8_t>;

KnownVersion Build(int number, std::int32_t size) {
    KnownVersion version{number, size, {}};
    for (int i = 0; i < kSignatureEntries; ++i) {
        version.Samples[static_cast<std::size_t>(i)] = {(i * 7 + number) % size, static_cast<std::uint8_t>(i + number)};
    }
    return version;
}

// Small tables whose bytes the cases below change by hand: the update of file 1, which knows builds 3 and 12
// (its newest); file 2 knows build 255 alone; the rest nothing. Titles and version take a byte each, so that
// the body reads, from offset 16: four profile bytes, the 32 bytes of the selection, the three texts (52..57),
// the file count (58), and file 1 from 59 on: its count, newest (60), content size (61) and CRC (65), then
// build 3 (69: number, 70: size, 74: its samples).
PatchTables Small() {
    PatchTables tables;
    tables.ProductIndex = 2;
    tables.ProductLanguage = 1;
    tables.ProductKind = 1;
    tables.SelectedFiles[0] = 0x02;
    tables.UpdateIndex = 1;
    tables.UpdateTitle = {"P", "F"};
    tables.UpdateVersion = "1";
    tables.Files[0].Versions = {Build(3, 100), Build(12, 120)};
    tables.Files[0].Newest = 12;
    tables.Files[0].NewContent = {120, 0xDEADBEEF};
    tables.Files[1].Versions = {Build(255, 64)};
    tables.Files[1].Newest = 255;
    tables.Files[1].NewContent = {64, 0x01020304};
    return tables;
}

constexpr std::size_t kUpdateIndexAt = 19;
constexpr std::size_t kSelectionAt = 20;
constexpr std::size_t kPolishTitleAt = 52;
constexpr std::size_t kVersionAt = 56;
constexpr std::size_t kFileCountAt = 58;
constexpr std::size_t kNewestAt = 60;
constexpr std::size_t kContentSizeAt = 61;
constexpr std::size_t kFirstBuildAt = 69;
constexpr std::size_t kFirstSampleAt = 74;
constexpr std::size_t kSecondBuildAt = kFirstSampleAt + 5 * kSignatureEntries;

std::uint32_t U32At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// The header made true again for a body changed by hand: the size and the CRC-32 of what is there now.
Bytes Resealed(Bytes bytes) {
    PutU32(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
    PutU32(bytes, 12, Crc32(std::span(bytes).subspan(16)));
    return bytes;
}

std::string Refusal(const Bytes& bytes) {
    try {
        ReadPatchTables(bytes);
    } catch (const PatchTablesError& error) {
        return error.what();
    }
    return "(read)";
}

TEST(PatchTables, ReadBackAsWrittenInTheirDocumentedLayout) {
    const PatchTables tables = Small();
    const Bytes bytes = WritePatchTables(tables);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "VKPT");
    EXPECT_EQ(U32At(bytes, 4), 1u);
    EXPECT_EQ(U32At(bytes, 8), bytes.size());
    EXPECT_EQ(U32At(bytes, 12), Crc32(std::span(bytes).subspan(16)));
    EXPECT_EQ(bytes[kUpdateIndexAt], 1);
    EXPECT_EQ(bytes[kSelectionAt], 0x02);
    EXPECT_EQ(bytes[kFileCountAt], 12);
    EXPECT_EQ(bytes[kFirstBuildAt], 3);
    EXPECT_EQ(U32At(bytes, kFirstBuildAt + 1), 100u);
    EXPECT_EQ(bytes[kSecondBuildAt], 12);
    // File 2's build, then ten files of no build, a byte each.
    EXPECT_EQ(bytes.size(), kSecondBuildAt + 255 + 1 + 9 + 255 + 10);

    const PatchTables read = ReadPatchTables(bytes);
    EXPECT_TRUE(read == tables);
    EXPECT_EQ(WritePatchTables(read), bytes);
    EXPECT_EQ(read.VersionSize(1, 12), 120);
    EXPECT_EQ(read.VersionSize(1, 4), 0);
    EXPECT_EQ(read.NewestVersion(2), 255);
    EXPECT_EQ(read.NewContentDigest(1)->Crc32, 0xDEADBEEFu);
    EXPECT_EQ(read.NewContentDigest(3), nullptr);
    EXPECT_EQ(read.FindSignatureTable(1, 3), &read.Files[0].Versions[0].Samples);
    EXPECT_EQ(read.FindSignatureTable(13, 1), nullptr);
}

TEST(PatchTables, RefuseDamagedHeadersAndBodies) {
    const Bytes good = WritePatchTables(Small());
    EXPECT_EQ(Refusal(Bytes(good.begin(), good.begin() + 15)),
              "the patch tables have 15 bytes, fewer than their header's 16");
    Bytes magic = good;
    magic[0] = 'X';
    EXPECT_EQ(Refusal(magic), "the patch tables do not begin with their magic \"VKPT\"");
    Bytes layout = good;
    layout[4] = 2;
    EXPECT_EQ(Refusal(layout), "the patch tables have the layout version 2, and this patcher reads 1");
    // Cut short, or with bytes after them, the resource is not the size its header gives.
    EXPECT_EQ(Refusal(Bytes(good.begin(), good.end() - 1)).rfind("the patch tables give their size as ", 0), 0u);
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_EQ(Refusal(longer).rfind("the patch tables give their size as ", 0), 0u);
    for (const std::size_t at : {std::size_t{16}, kFirstSampleAt + 3, good.size() - 1}) {
        Bytes damaged = good;
        damaged[at] ^= 0x10;
        EXPECT_EQ(Refusal(damaged), "the patch tables are damaged: their CRC-32 does not match") << at;
    }
    // Sealed again, a body cut short or with bytes after its last file is still refused.
    EXPECT_EQ(Refusal(Resealed(Bytes(good.begin(), good.end() - 1))).rfind("the patch tables end early: ", 0), 0u);
    longer = Resealed(longer);
    EXPECT_EQ(Refusal(longer), "the patch tables go on for 1 bytes after their last file");
}

// Each change below is sealed again, so that only the check of what the tables say can refuse it.
TEST(PatchTables, RefuseTablesThatAreNotConsistentInThemselves) {
    const Bytes good = WritePatchTables(Small());
    ASSERT_EQ(Refusal(Resealed(good)), "(read)");
    const auto changed = [&](std::size_t at, std::uint8_t value) {
        Bytes bytes = good;
        bytes[at] = value;
        return Refusal(Resealed(bytes));
    };
    const auto changedU32 = [&](std::size_t at, std::uint32_t value) {
        Bytes bytes = good;
        PutU32(bytes, at, value);
        return Refusal(Resealed(bytes));
    };
    EXPECT_EQ(changed(16, 11), "the patch tables give ProductIndex 11, not one of 1..10");
    EXPECT_EQ(changed(17, 0), "the patch tables give ProductLanguage 0, not one of 1..3");
    EXPECT_EQ(changed(18, 7), "the patch tables give ProductKind 7, not one of 1..6");
    EXPECT_EQ(changed(kUpdateIndexAt, 13), "the patch tables give UpdateIndex 13, not one of 1..12");
    EXPECT_EQ(changed(kUpdateIndexAt, 2), "the patch tables name the update of file 2, which they do not select");
    EXPECT_EQ(changed(kSelectionAt, 0), "the patch tables select no file");
    EXPECT_EQ(changed(kSelectionAt, 0x03), "the patch tables select file 0, and files go from 1 to 12");
    EXPECT_EQ(changed(kSelectionAt + 1, 0x20), "the patch tables select file 13, and files go from 1 to 12");
    EXPECT_EQ(changed(kSelectionAt, 0x0A), "the patch tables select file 3, of which they know no build");
    EXPECT_EQ(changed(kFileCountAt, 11), "the patch tables hold 11 files, not the 12 of the family");
    EXPECT_EQ(changed(kPolishTitleAt + 1, 0x81),
              "the patch tables give a Polish title with the byte 0x81, which is no Windows-1250 character to show");
    EXPECT_EQ(changed(kVersionAt + 1, '\n'),
              "the patch tables give a version with the byte 0x0A, which is no Windows-1250 character to show");
    Bytes untitled = good;
    untitled.erase(untitled.begin() + kPolishTitleAt + 1);
    untitled[kPolishTitleAt] = 0;
    EXPECT_EQ(Refusal(Resealed(untitled)), "the patch tables give a Polish title of 0 bytes, not 1..255");

    EXPECT_EQ(changed(kFirstBuildAt, 0), "the patch tables give file 1 a build numbered 0, not one of 1..255");
    EXPECT_EQ(changed(kFirstBuildAt, 12),
              "the patch tables give file 1 build 12 after build 12: builds come in strictly ascending numbers");
    EXPECT_EQ(changed(kFirstBuildAt, 13),
              "the patch tables give file 1 build 12 after build 13: builds come in strictly ascending numbers");
    EXPECT_EQ(changedU32(kFirstBuildAt + 1, 0),
              "the patch tables give file 1 build 3 the size 0, and no build is empty");
    EXPECT_EQ(changedU32(kFirstBuildAt + 1, 0x80000000u),
              "the patch tables give file 1 build 3 the size -1, and no build is empty");
    EXPECT_EQ(changedU32(kFirstSampleAt, 100),
              "the patch tables sample file 1 build 3 at offset 100, outside its 100 bytes");
    EXPECT_EQ(changed(kNewestAt, 3), "the patch tables give file 1 the newest build 3, not its highest, 12");
    EXPECT_EQ(changedU32(kContentSizeAt, 100),
              "the patch tables give file 1 new content of 100 bytes, not the size of its newest build, 120");
}

TEST(PatchTables, AreNeverWrittenAsTheReaderWouldRefuseThem) {
    PatchTables highest = Small();
    highest.Files[0].Newest = 3;
    EXPECT_THROW(WritePatchTables(highest), PatchTablesError);
    PatchTables repeated = Small();
    repeated.Files[0].Versions[1].Number = 3;
    EXPECT_THROW(WritePatchTables(repeated), PatchTablesError);
    PatchTables many = Small();
    many.Files[0].Versions.clear();
    for (int number = 1; number <= 256; ++number) {
        many.Files[0].Versions.push_back(Build(number, 120));
    }
    many.Files[0].Newest = 256;
    EXPECT_THROW(WritePatchTables(many), PatchTablesError);
    PatchTables title = Small();
    title.UpdateTitle[1] = std::string(256, 'x');
    EXPECT_THROW(WritePatchTables(title), PatchTablesError);
}

// As the patcher takes its own: the one resource of that name; then installed once for the whole process.
TEST(PatchTables, AreLoadedFromTheirResourceAndInstalledOnce) {
    testing::MemoryResourceStore resources;
    EXPECT_THROW(LoadPatchTables(resources), PlatformError);
    resources.Add(std::string(kPatchTablesResource), WritePatchTables(Small()));
    EXPECT_TRUE(LoadPatchTables(resources) == Small());
    EXPECT_EQ(resources.Held(), 0);

    // This program installed the build's tables before its first case; nothing replaces them.
    const PatchTables& installed = InstalledPatchTables();
    EXPECT_THROW(InstallPatchTables(Small()), std::logic_error);
    EXPECT_EQ(&InstalledPatchTables(), &installed);
    EXPECT_EQ(InstalledPatchTables().ProductIndex, 2);
}

}  // namespace
}  // namespace patcher

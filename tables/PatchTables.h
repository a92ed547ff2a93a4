#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "common/FileIndex.h"

namespace patcher {

inline constexpr int kSignatureEntries = 50;

// One sampled byte of a known build: the byte at Offset (0 <= Offset < that version's size) must be Expected.
struct SignatureEntry {
    std::int32_t Offset;
    std::uint8_t Expected;

    bool operator==(const SignatureEntry&) const = default;
};

// The samples of one (file, version) pair, in the order in which they are compared.
using SignatureTable = std::array<SignatureEntry, kSignatureEntries>;

// What the new content of a product file must be once unpacked: its size and CRC-32. The packed format has
// no check of its own, so a damaged resource would otherwise unpack to wrong bytes unnoticed.
struct ContentDigest {
    std::int32_t Size;
    std::uint32_t Crc32;

    bool operator==(const ContentDigest&) const = default;
};

// Build numbers run 1..255 per file, as the patch description gives them; a number never changes once a build
// is published, so numbers may have gaps where older builds are no longer served.
inline constexpr int kMaxVersions = 255;

// One known build of a product file: what recognition judges a file by.
struct KnownVersion {
    int Number = 0;            // 1..kMaxVersions
    std::int32_t Size = 0;     // its exact size in bytes, above 0
    SignatureTable Samples{};  // its 50 samples, compared in this order; every offset below Size

    bool operator==(const KnownVersion&) const = default;
};

// Everything the patcher knows of one product file.
struct FileTables {
    std::vector<KnownVersion> Versions;  // in ascending numbers; none for a file this patcher does not know
    int Newest = 0;                      // the highest number; 0 without versions
    ContentDigest NewContent{0, 0};      // the newest build's size and CRC-32; size 0 without versions

    bool operator==(const FileTables&) const = default;
};

// What makes one patcher serve one product and one update: the values of the ProductProfile that a build
// fixes, the update's title and version as the window and the log show them, and the tables of every product
// file. The patcher reads them once at start-up from the resource that carries them (PatchTablesFormat.h),
// and nothing changes them afterwards.
struct PatchTables {
    std::int32_t ProductIndex = 0;                 // 1..10
    LanguageCode ProductLanguage = 0;              // 1..3
    std::int32_t ProductKind = 0;                  // 1..6
    std::array<std::uint8_t, 32> SelectedFiles{};  // the bit map of ProductProfile::SelectedFiles
    std::uint8_t UpdateIndex = 0;                  // 1..12, one of the selected files
    std::array<ByteString, 2> UpdateTitle;         // the row of UpdateIndex: column 1 Polish, column 2 foreign
    ByteString UpdateVersion;                      // the version that the update brings
    std::array<FileTables, kFileCount> Files;      // row i - 1 holds file index i

    bool operator==(const PatchTables&) const = default;

    // The tables of file fileIndex (1..12); an empty row outside.
    const FileTables& File(int fileIndex) const;
    // Its known builds in ascending numbers; none outside 1..12.
    std::span<const KnownVersion> Versions(int fileIndex) const { return File(fileIndex).Versions; }
    const KnownVersion* FindVersion(int fileIndex, int number) const;

    // The accessors that the engine has always read, over these tables: 0 or nullptr where nothing is known.
    std::int32_t VersionSize(int fileIndex, int version) const;
    std::int32_t NewestVersion(int fileIndex) const;
    const SignatureTable* FindSignatureTable(int fileIndex, int version) const;
    const ContentDigest* NewContentDigest(int fileIndex) const;

    bool Selects(int fileIndex) const;
};

// Makes `tables` those of this process: once, at start-up, before anything reads them. Throws
// std::logic_error when tables are installed already, so that nothing replaces them while they are read.
void InstallPatchTables(PatchTables tables);

// The tables installed at start-up; throws std::logic_error before any are installed.
const PatchTables& InstalledPatchTables();

}  // namespace patcher

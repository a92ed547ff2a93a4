#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/VersionTables.h"
#include "profile/ProductProfile.h"
#include "tests/support/BuildData.h"
#include "tests/support/InstalledBuildTables.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::standin {
namespace {

using testing::Standins;

bool Contains(const Bytes& bytes, std::string_view text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// Share of the content of `newer` that occurs anywhere in `older`, estimated on the 32-byte windows that a
// rolling hash selects by content (about one in sixteen), so that moved content is found where it went.
double SharedShare(const Bytes& older, const Bytes& newer) {
    constexpr std::size_t kWindow = 32;
    constexpr std::uint64_t kBase = 1099511628211ULL;
    std::uint64_t power = 1;
    for (std::size_t i = 0; i < kWindow; ++i) {
        power *= kBase;
    }
    const auto selectedHashes = [&](const Bytes& bytes) {
        std::vector<std::uint64_t> selected;
        std::uint64_t hash = 0;
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            hash = hash * kBase + bytes[at];
            if (at >= kWindow) {
                hash -= power * bytes[at - kWindow];
            }
            // Runs of one byte (zero fill above all) say nothing about shared content.
            if (at + 1 >= kWindow && (hash >> 60) == 0 &&
                !std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at + 1 - kWindow),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + 1),
                             [&](std::uint8_t b) { return b == bytes[at]; })) {
                selected.push_back(hash);
            }
        }
        return selected;
    };
    std::vector<std::uint64_t> known = selectedHashes(older);
    std::sort(known.begin(), known.end());
    const std::vector<std::uint64_t> wanted = selectedHashes(newer);
    const auto shared = std::count_if(wanted.begin(), wanted.end(), [&](std::uint64_t hash) {
        return std::binary_search(known.begin(), known.end(), hash);
    });
    return static_cast<double>(shared) / static_cast<double>(wanted.size());
}

TEST(Standins, HaveTheExactSizesOfTheKnownBuilds) {
    int made = 0;
    for (int file = 1; file <= kFileCount; ++file) {
        for (const int version : KnownVersions(file)) {
            EXPECT_EQ(Standins().Get(file, version).size(), static_cast<std::size_t>(VersionSize(file, version)));
            ++made;
        }
    }
    EXPECT_EQ(made, 33);
    EXPECT_THROW(Standins().Get(2, 2), std::invalid_argument);
    EXPECT_THROW(Standins().Get(13, 1), std::invalid_argument);
}

TEST(Standins, AreTheSameOnEveryRun) {
    for (const auto& [file, version] : {std::pair{1, 11}, {3, 2}, {10, 1}}) {
        EXPECT_TRUE(GenerateStandin(file, version) == Standins().Get(file, version)) << file << "/" << version;
    }
}

TEST(Standins, ProgramsCarryAConsistentPortableExecutableHeader) {
    for (int file = 1; file <= kFileCount; ++file) {
        if (FileName(file).ends_with(".chm")) {
            continue;
        }
        for (const int version : KnownVersions(file)) {
            const Bytes& image = Standins().Get(file, version);
            const pe::PeReader reader(image);
            EXPECT_FALSE(reader.Is64Bit());
            EXPECT_EQ(reader.Sections().size(), 8U);
            std::uint32_t end = reader.SizeOfHeaders();
            std::uint32_t rva = reader.SectionAlignment();
            for (const pe::PeReader::Section& section : reader.Sections()) {
                if (section.RawSize != 0) {
                    EXPECT_EQ(section.RawOffset, end) << "sections follow each other";
                }
                EXPECT_EQ(section.VirtualAddress, rva) << section.Name;
                end += section.RawSize;
                rva += pe::AlignUp(section.VirtualSize, reader.SectionAlignment());
            }
            EXPECT_EQ(end, image.size()) << "file " << file << " version " << version;
            EXPECT_EQ(reader.SizeOfImage(), rva);
            // The data directories point at the sections that hold their tables.
            const auto directoryIn = [&](std::size_t index, const char* name) {
                const auto found = std::find_if(reader.Sections().begin(), reader.Sections().end(),
                                                [&](const auto& section) { return section.Name == name; });
                ASSERT_NE(found, reader.Sections().end()) << name;
                EXPECT_EQ(reader.Directory(index).Rva, found->VirtualAddress) << name;
            };
            directoryIn(pe::kImportTable, ".idata");
            directoryIn(pe::kResourceTable, ".rsrc");
            directoryIn(pe::kBaseRelocationTable, ".reloc");
        }
    }
}

TEST(Standins, MixCodeWithTextAsProgramsDo) {
    const Bytes& image = Standins().Get(1, 11);
    EXPECT_TRUE(Contains(image, "This program must be run under Win32"));
    EXPECT_TRUE(Contains(image, "TPF0"));
    EXPECT_TRUE(Contains(image, "GetProcAddress"));
    const auto printable = [&](std::size_t from, std::size_t length) {
        const auto count = std::count_if(image.begin() + static_cast<std::ptrdiff_t>(from),
                                         image.begin() + static_cast<std::ptrdiff_t>(from + length),
                                         [](std::uint8_t b) { return b >= 0x20 && b < 0x7F; });
        return static_cast<double>(count) / static_cast<double>(length);
    };
    // Code right after the headers; resources at the end.
    EXPECT_LT(printable(0x400, 65536), 0.5);
    EXPECT_GT(printable(image.size() - 200000, 65536), 0.5);

    const Bytes& help = Standins().Get(9, 1);
    EXPECT_EQ(std::string(help.begin(), help.begin() + 4), "ITSF");
    EXPECT_EQ(std::string(Standins().Get(10, 1).begin(), Standins().Get(10, 1).begin() + 4), "ITSF");
}

TEST(Standins, ConsecutiveVersionsShareMostOfTheirBytes) {
    for (const int file : {1, 3, 8, 11}) {
        const std::vector<int> versions = KnownVersions(file);
        for (std::size_t i = 1; i < versions.size(); ++i) {
            const double shared = SharedShare(Standins().Get(file, versions[i - 1]), Standins().Get(file, versions[i]));
            EXPECT_GT(shared, 0.75) << "file " << file << " version " << versions[i];
        }
    }
    // Unrelated programs share next to nothing.
    const double unrelated = SharedShare(Standins().Get(4, 1), Standins().Get(5, 1));
    EXPECT_LT(unrelated, 0.25);
}

// The next releases keep every published build byte for byte (their tables stay the same) and add build 12 of
// VokarEn.exe and build 4 of VokarDe.exe, each made from the build before it as a new build is.
TEST(Standins, TheNextReleasesKeepThePublishedBuildsAndAddTheirNewBuilds) {
    StandinBuilds next(NextSizes());
    EXPECT_EQ(KnownVersions(1, NextSizes()), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    for (const int version : KnownVersions(1)) {
        EXPECT_TRUE(next.Get(1, version) == Standins().Get(1, version)) << "version " << version;
    }
    EXPECT_TRUE(next.Get(10, 1) == Standins().Get(10, 1));
    const Bytes& twelfth = next.Get(1, 12);
    EXPECT_EQ(twelfth.size(), 2301952u);
    EXPECT_EQ(std::string(twelfth.begin(), twelfth.begin() + 2), "MZ");
    EXPECT_GT(SharedShare(next.Get(1, 11), twelfth), 0.75);
    EXPECT_THROW(Standins().Get(1, 12), std::invalid_argument);
    for (const int version : KnownVersions(8)) {
        EXPECT_TRUE(next.Get(8, version) == Standins().Get(8, version)) << "version " << version;
    }
    const Bytes& fourth = next.Get(8, 4);
    EXPECT_EQ(fourth.size(), 2166272u);
    EXPECT_GT(SharedShare(next.Get(8, 3), fourth), 0.75);
    EXPECT_THROW(next.Get(8, 5), std::invalid_argument);
}

}  // namespace
}  // namespace patcher::standin

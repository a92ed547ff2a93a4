#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "engine/SignatureTables.h"
#include "engine/VersionTables.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

std::vector<const SignatureTable*> AllTables() {
    std::vector<const SignatureTable*> tables;
    for (int file = 1; file <= kFileCount; ++file) {
        for (int version = 1; version <= kMaxVersions; ++version) {
            if (const SignatureTable* table = FindSignatureTable(file, version)) {
                tables.push_back(table);
            }
        }
    }
    return tables;
}

TEST(SignatureTables, ExistExactlyForTheKnownVersions) {
    for (int file = 0; file <= kFileCount + 1; ++file) {
        for (int version = 0; version <= kMaxVersions + 1; ++version) {
            EXPECT_EQ(FindSignatureTable(file, version) != nullptr, VersionSize(file, version) != 0)
                << "file " << file << " version " << version;
        }
    }
    EXPECT_EQ(AllTables().size(), 33u);
}

TEST(SignatureTables, SampleDistinctOffsetsSpreadOverTheWholeFile) {
    ASSERT_FALSE(AllTables().empty());
    for (int file = 1; file <= kFileCount; ++file) {
        for (int version = 1; version <= kMaxVersions; ++version) {
            const SignatureTable* table = FindSignatureTable(file, version);
            if (table == nullptr) {
                continue;
            }
            const std::int32_t size = VersionSize(file, version);
            std::vector<std::int32_t> offsets;
            for (const SignatureEntry& entry : *table) {
                EXPECT_GE(entry.Offset, 0);
                EXPECT_LT(entry.Offset, size);
                offsets.push_back(entry.Offset);
            }
            std::sort(offsets.begin(), offsets.end());
            EXPECT_EQ(std::adjacent_find(offsets.begin(), offsets.end()), offsets.end())
                << "file " << file << " version " << version << " samples one offset twice";
            // No stretch of more than a tenth of the file goes unsampled, at the ends included.
            offsets.insert(offsets.begin(), 0);
            offsets.push_back(size);
            for (std::size_t i = 1; i < offsets.size(); ++i) {
                EXPECT_LE(offsets[i] - offsets[i - 1], size / 10) << "file " << file << " version " << version;
            }
            // The order is shuffled, not ascending.
            std::vector<std::int32_t> inTableOrder;
            for (const SignatureEntry& entry : *table) {
                inTableOrder.push_back(entry.Offset);
            }
            EXPECT_FALSE(std::is_sorted(inTableOrder.begin(), inTableOrder.end()));
        }
    }
}

TEST(SignatureTables, HoldThePublishedRowsOfTheRealBuilds) {
    const SignatureTable& first = *FindSignatureTable(1, 1);
    EXPECT_EQ(first[0].Offset, 0);
    EXPECT_EQ(first[0].Expected, 0x4D);
    EXPECT_EQ(first[1].Offset, 60554);
    EXPECT_EQ(first[1].Expected, 0x7D);
    EXPECT_EQ(first[2].Offset, 1661589);
    EXPECT_EQ(first[2].Expected, 0x6E);

    const SignatureTable& help = *FindSignatureTable(10, 1);
    EXPECT_EQ(help[0].Offset, 13112);
    EXPECT_EQ(help[0].Expected, 0x84);
    EXPECT_EQ(help[1].Offset, 1411);
    EXPECT_EQ(help[1].Expected, 0x00);
    EXPECT_EQ(help[2].Offset, 1340);
    EXPECT_EQ(help[2].Expected, 0x00);

    // Versions 6 and 7 of file 1: same size, same offsets in the same order, 28 bytes apart, the first of
    // them the fifth sample.
    const SignatureTable& six = *FindSignatureTable(1, 6);
    const SignatureTable& seven = *FindSignatureTable(1, 7);
    std::vector<int> differing;
    for (int i = 0; i < kSignatureEntries; ++i) {
        EXPECT_EQ(six[i].Offset, seven[i].Offset);
        if (six[i].Expected != seven[i].Expected) {
            differing.push_back(i);
        }
    }
    ASSERT_EQ(differing.size(), 28u);
    EXPECT_EQ(differing.front(), 4);
    EXPECT_EQ(six[4].Offset, 566488);
    EXPECT_EQ(six[4].Expected, 0xFF);
    EXPECT_EQ(seven[4].Expected, 0xE0);
}

TEST(SignatureTables, TestTheExecutableHeaderOnlyAsTheirFirstSample) {
    int beginWithHeader = 0;
    for (const SignatureTable* table : AllTables()) {
        if ((*table)[0].Offset == 0) {
            EXPECT_EQ((*table)[0].Expected, 0x4D);
            ++beginWithHeader;
        }
        for (int i = 1; i < kSignatureEntries; ++i) {
            EXPECT_NE((*table)[i].Offset, 0);
        }
    }
    EXPECT_EQ(beginWithHeader, 14);
}

TEST(SignatureTables, TellEveryVersionFromTheOthersOfItsSize) {
    ASSERT_FALSE(AllTables().empty());
    for (int file = 1; file <= kFileCount; ++file) {
        for (int a = 1; a <= kMaxVersions; ++a) {
            for (int b = a + 1; b <= kMaxVersions; ++b) {
                if (VersionSize(file, a) == 0 || VersionSize(file, a) != VersionSize(file, b)) {
                    continue;
                }
                const SignatureTable& first = *FindSignatureTable(file, a);
                const SignatureTable& second = *FindSignatureTable(file, b);
                bool told = false;
                for (int i = 0; i < kSignatureEntries; ++i) {
                    told = told || (first[i].Offset == second[i].Offset && first[i].Expected != second[i].Expected);
                }
                EXPECT_TRUE(told) << "file " << file << " versions " << a << " and " << b;
            }
        }
    }
}

}  // namespace
}  // namespace patcher

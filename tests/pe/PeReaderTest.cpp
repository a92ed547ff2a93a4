// The PE reader on images built here byte by byte, so that what it should find is known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/pe/PeBuilder.h"
#include "tests/support/FileBytes.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeReader.h"

namespace patcher::pe {
namespace {

using testing::kBuiltSectionOffset;
using testing::kBuiltSectionRva;
using testing::Noise;
using testing::PeBuilder;

TEST(PeReader, ListsTheImportedAndDelayLoadedDllsOfBothFormats) {
    for (const bool is64Bit : {false, true}) {
        PeBuilder builder;
        builder.Is64Bit = is64Bit;
        builder.TimeStamp = 0x5F3759DF;
        builder.Imports = {"KERNEL32.dll", "USER32.dll", "msvcrt.dll"};
        builder.DelayLoads = {"planted.dll"};
        const std::vector<std::uint8_t> image = builder.Build();
        const PeReader reader(image);
        EXPECT_EQ(reader.Is64Bit(), is64Bit);
        EXPECT_EQ(reader.TimeStamp(), 0x5F3759DFU);
        EXPECT_EQ(reader.ImportedDlls(),
                  (std::vector<std::string>{"KERNEL32.dll", "USER32.dll", "msvcrt.dll", "planted.dll"}));
    }
}

TEST(PeReader, ReadsDelayLoadNamesGivenAsAddresses) {
    PeBuilder builder;
    builder.DelayLoads = {"first.dll", "second.dll"};
    builder.DelayLoadsByAddress = true;
    const std::vector<std::uint8_t> image = builder.Build();
    EXPECT_EQ(PeReader(image).ImportedDlls(), (std::vector<std::string>{"first.dll", "second.dll"}));
}

TEST(PeReader, FindsNoDllsWhereThereAreNoTables) {
    PeBuilder builder;
    builder.Resources = {{10, 1, 4}};
    const std::vector<std::uint8_t> image = builder.Build();
    EXPECT_TRUE(PeReader(image).ImportedDlls().empty());
}

TEST(PeReader, ReadsTheHeadersSectionTableAndDataDirectoriesOfBothFormats) {
    for (const bool is64Bit : {false, true}) {
        PeBuilder builder;
        builder.Is64Bit = is64Bit;
        builder.Imports = {"KERNEL32.dll"};
        builder.Resources = {{10, 1, 700}};
        const std::vector<std::uint8_t> image = builder.Build();
        const PeReader reader(image);
        EXPECT_EQ(reader.FileAlignment(), testing::kBuiltFileAlignment);
        EXPECT_EQ(reader.SectionAlignment(), testing::kBuiltSectionAlignment);
        EXPECT_EQ(reader.SizeOfHeaders(), kBuiltSectionOffset);
        ASSERT_EQ(reader.Sections().size(), 1U);
        const PeReader::Section& data = reader.Sections()[0];
        EXPECT_EQ(data.Name, ".data");
        EXPECT_EQ(data.VirtualAddress, kBuiltSectionRva);
        EXPECT_EQ(data.RawOffset, kBuiltSectionOffset);
        EXPECT_EQ(data.RawSize, image.size() - kBuiltSectionOffset);
        EXPECT_EQ(reader.SizeOfImage(), kBuiltSectionRva + AlignUp(data.VirtualSize, testing::kBuiltSectionAlignment));
        EXPECT_TRUE(
            std::ranges::equal(reader.SectionBytes(data), std::span(image).subspan(kBuiltSectionOffset, data.RawSize)));
        EXPECT_EQ(reader.Directory(kImportTable).Rva, builder.ImportRva);
        EXPECT_EQ(reader.Directory(kResourceTable).Rva, builder.ResourceRva);
        EXPECT_EQ(reader.Directory(kExportTable).Rva, 0U);
        EXPECT_EQ(reader.Directory(99).Rva, 0U);  // beyond the header's entries
        // The header's fields are where the reader says they are.
        EXPECT_EQ(Load16(image, reader.Places().Optional + optional::kMagic),
                  is64Bit ? optional::kMagicPe32Plus : optional::kMagicPe32);
        EXPECT_EQ(Load32(image, reader.Places().DataDirectories + kResourceTable * 8), builder.ResourceRva);
        EXPECT_EQ(Load32(image, reader.Places().SectionTable + section::kVirtualAddress), kBuiltSectionRva);
    }
}

TEST(PeReader, AddsUpTheResourcesOfAType) {
    PeBuilder builder;
    builder.ResourceTimeStamp = 0x12345678;
    builder.Resources = {{10, 1, 100}, {2, 7, 50}, {10, 2, 300}, {24, 1, 9}};
    const std::vector<std::uint8_t> image = builder.Build();
    const PeReader reader(image);
    EXPECT_EQ(reader.ResourceTimeStamp(), 0x12345678U);
    EXPECT_EQ(reader.ResourcesOfType(10).Bytes, 400U);
    EXPECT_EQ(reader.ResourcesOfType(10).Count, 2);
    EXPECT_EQ(reader.ResourcesOfType(2).Bytes, 50U);
    EXPECT_EQ(reader.ResourcesOfType(2).Count, 1);
    EXPECT_EQ(reader.ResourcesOfType(3).Count, 0);

    PeBuilder none;
    none.Imports = {"KERNEL32.dll"};
    const std::vector<std::uint8_t> plain = none.Build();
    EXPECT_EQ(PeReader(plain).ResourceTimeStamp(), 0U);
    EXPECT_EQ(PeReader(plain).ResourcesOfType(10).Count, 0);
}

// Types and names given by number or by name, a name with two languages, in the tree's order: named
// entries first, then numbers, languages by number.
TEST(PeReader, ListsEveryResourceWithItsTypeNameLanguageAndBytes) {
    PeBuilder builder;
    builder.Resources = {
        {10, u"PVOKAREN1B", 7}, {10, u"PVOKAREN1A", 300}, {16, 1, 60, 0x415},      {2, u"FLAG_PL", 40}, {24, 1, 9},
        {16, 1, 62, 0x409},     {u"TYPEFONT", 3, 5},      {10, u"Pl\u0105ski", 4}, {10, 5, 0}};
    const std::vector<std::uint8_t> image = builder.Build();
    const PeReader reader(image);
    const std::vector<PeReader::Resource> resources = reader.Resources();

    struct Expected {
        std::string Type;
        std::string Name;
        std::uint32_t Language;
        std::size_t Index;  // in builder.Resources
    };
    const std::vector<Expected> expected = {
        {"TYPEFONT", "#3", 0x409, 6},    {"#2", "FLAG_PL", 0x409, 3},       {"#10", "PVOKAREN1A", 0x409, 1},
        {"#10", "PVOKAREN1B", 0x409, 0}, {"#10", "Pl\\u0105ski", 0x409, 7}, {"#10", "#5", 0x409, 8},
        {"#16", "#1", 0x409, 5},         {"#16", "#1", 0x415, 2},           {"#24", "#1", 0x409, 4}};
    ASSERT_EQ(resources.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const PeReader::Resource& resource = resources[i];
        EXPECT_EQ(resource.Type.Text(), expected[i].Type) << i;
        EXPECT_EQ(resource.Name.Text(), expected[i].Name) << i;
        EXPECT_EQ(resource.Language, expected[i].Language) << i;
        const std::size_t index = expected[i].Index;
        const std::vector<std::uint8_t> bytes = Noise(builder.Resources[index].Size, static_cast<std::uint32_t>(index));
        EXPECT_TRUE(std::ranges::equal(resource.Bytes, bytes)) << i;
    }
    // Names and numbers are told apart.
    EXPECT_EQ(resources[2].Name, ResourceId::Named(u"PVOKAREN1A"));
    EXPECT_EQ(resources[6].Type, ResourceId::Numbered(16));
    // The first of a type and name, whatever its language.
    EXPECT_TRUE(std::ranges::equal(reader.FirstResource(16, ResourceId::Numbered(1)), Noise(62, 5)));
    EXPECT_TRUE(reader.FirstResource(16, ResourceId::Numbered(2)).empty());
    EXPECT_TRUE(reader.FirstResource(2, ResourceId::Named(u"FLAG_EN")).empty());

    PeBuilder none;
    none.Imports = {"KERNEL32.dll"};
    const std::vector<std::uint8_t> plain = none.Build();
    EXPECT_TRUE(PeReader(plain).Resources().empty());
}

// An empty resource needs no byte of its section, not even where its section ends.
TEST(PeReader, ReadsAnEmptyResourceAtTheEndOfItsSection) {
    PeBuilder builder;
    builder.Resources = {{10, 1, 0}};
    std::vector<std::uint8_t> image = builder.Build();
    const PeReader::Section data = PeReader(image).Sections()[0];
    const std::size_t dataEntry = builder.ResourceRootOffset() + 3 * (resources::kTableSize + resources::kEntrySize);
    ASSERT_EQ(Load32(image, dataEntry + resources::kDataSize), 0U);
    Store32(image, dataEntry + resources::kDataRva, data.VirtualAddress + data.RawSize);
    const std::vector<PeReader::Resource> read = PeReader(image).Resources();
    ASSERT_EQ(read.size(), 1U);
    EXPECT_TRUE(read[0].Bytes.empty());

    Store32(image, dataEntry + resources::kDataSize, 1);
    EXPECT_THROW(PeReader(image).Resources(), BrokenImage);
}

TEST(PeReader, ReadsTheSubsystemSecurityFlagsAndRelocationsOfBothFormats) {
    for (const bool is64Bit : {false, true}) {
        PeBuilder gui;
        gui.Is64Bit = is64Bit;
        gui.Subsystem = 2;
        gui.DllCharacteristics = 0x0160;
        gui.Relocations = {{kBuiltSectionRva, {0x3004, 0x3010}}, {0x2000, {0x3FF8, 0}}};
        const std::vector<std::uint8_t> guiImage = gui.Build();
        const PeReader guiReader(guiImage);
        EXPECT_EQ(guiReader.Subsystem(), 2);
        EXPECT_EQ(guiReader.DllCharacteristics(), 0x0160);
        EXPECT_TRUE(guiReader.HasRelocations());
        const std::vector<PeReader::RelocationBlock> expected = {{kBuiltSectionRva, {0x3004, 0x3010}},
                                                                 {0x2000, {0x3FF8, 0}}};
        EXPECT_EQ(guiReader.RelocationBlocks(), expected);

        PeBuilder console;
        console.Is64Bit = is64Bit;
        console.Subsystem = 3;
        console.DllCharacteristics = 0x0100;
        const std::vector<std::uint8_t> consoleImage = console.Build();
        const PeReader consoleReader(consoleImage);
        EXPECT_EQ(consoleReader.Subsystem(), 3);
        EXPECT_EQ(consoleReader.DllCharacteristics(), 0x0100);
        EXPECT_FALSE(consoleReader.HasRelocations());
        EXPECT_TRUE(consoleReader.RelocationBlocks().empty());
    }
}

TEST(PeReader, RefusesBrokenFiles) {
    PeBuilder builder;
    builder.Imports = {"KERNEL32.dll"};
    builder.Resources = {{10, u"PACKED", 16}};
    builder.Relocations = {{kBuiltSectionRva, {0x3004, 0x3008}}};
    const std::vector<std::uint8_t> good = builder.Build();
    ASSERT_NO_THROW(PeReader(good).ImportedDlls());
    ASSERT_NO_THROW(PeReader(good).Resources());
    ASSERT_NO_THROW(PeReader(good).RelocationBlocks());

    std::vector<std::uint8_t> notMz = good;
    notMz[0] = 'X';
    EXPECT_THROW(PeReader{notMz}, BrokenImage);

    const std::vector<std::uint8_t> headersOnly(good.begin(), good.begin() + 0x100);
    EXPECT_THROW(PeReader{headersOnly}, BrokenImage);

    // The section cut short: the tables point past the end of the file.
    const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + kBuiltSectionOffset + 8);
    EXPECT_THROW(PeReader(truncated).ImportedDlls(), BrokenImage);
    EXPECT_THROW(PeReader(truncated).ResourcesOfType(10), BrokenImage);
    EXPECT_THROW(PeReader(truncated).RelocationBlocks(), BrokenImage);
    EXPECT_THROW(PeReader(truncated).SectionBytes(PeReader(truncated).Sections()[0]), BrokenImage);

    // An import table at an address that no section holds.
    std::vector<std::uint8_t> elsewhere = good;
    const std::size_t directories = PeReader(good).Places().DataDirectories;
    Store32(elsewhere, directories + kImportTable * 8, 0x9000);
    EXPECT_THROW(PeReader(elsewhere).ImportedDlls(), BrokenImage);

    // A name that runs to the end of the file without its zero byte.
    std::vector<std::uint8_t> endless = good;
    const std::string name = "KERNEL32.dll";
    const auto found = std::search(endless.begin(), endless.end(), name.begin(), name.end());
    ASSERT_NE(found, endless.end());
    std::fill(found, endless.end(), static_cast<std::uint8_t>('A'));
    EXPECT_THROW(PeReader(endless).ImportedDlls(), BrokenImage);

    // A resource name whose count of letters reaches past the end of the file.
    std::vector<std::uint8_t> overlong = good;
    const std::vector<std::uint8_t> counted = {6, 0, 'P', 0, 'A', 0};
    const auto counter = std::search(overlong.begin(), overlong.end(), counted.begin(), counted.end());
    ASSERT_NE(counter, overlong.end());
    *counter = 0xFF;
    EXPECT_THROW(PeReader(overlong).Resources(), BrokenImage);

    // A relocation block that says it is longer than the table.
    std::vector<std::uint8_t> longBlock = good;
    Store32(longBlock, builder.RelocationRva - kBuiltSectionRva + kBuiltSectionOffset + relocations::kBlockSize, 0x400);
    EXPECT_THROW(PeReader(longBlock).RelocationBlocks(), BrokenImage);
}

// A tree whose tables are shared, laid over each other or counted past the section's end would make a
// reader go round or read without end: each is refused.
TEST(PeReader, RefusesResourceTreesThatLoopOverlapOrRunPastTheirSection) {
    PeBuilder builder;
    builder.Resources = {{10, 1, 16}, {10, 2, 16}, {24, 1, 16}};
    const std::vector<std::uint8_t> good = builder.Build();
    ASSERT_EQ(PeReader(good).Resources().size(), 3U);
    const std::size_t root = builder.ResourceRootOffset();
    namespace tree = resources;
    // The root's entries, the type tables, the name tables: the first entry of each table.
    const auto entryTarget = [&](const std::vector<std::uint8_t>& image, std::size_t table, std::size_t index) {
        return Load32(image, table + tree::kTableSize + index * tree::kEntrySize + tree::kEntryOffset);
    };
    const std::size_t rcData = root + (entryTarget(good, root, 0) & ~tree::kOffsetIsDirectory);
    const std::size_t manifest = root + (entryTarget(good, root, 1) & ~tree::kOffsetIsDirectory);
    const std::size_t firstName = root + (entryTarget(good, rcData, 0) & ~tree::kOffsetIsDirectory);

    // Both types lead to one table of names: it would be read twice.
    std::vector<std::uint8_t> shared = good;
    Store32(shared, root + tree::kTableSize + tree::kEntrySize + tree::kEntryOffset, entryTarget(good, root, 0));
    EXPECT_THROW(PeReader(shared).Resources(), BrokenImage);

    // A name's table leads back to the table of the type's names: a loop.
    std::vector<std::uint8_t> loop = good;
    Store32(loop, rcData + tree::kTableSize + tree::kEntryOffset, entryTarget(good, root, 0));
    EXPECT_THROW(PeReader(loop).Resources(), BrokenImage);

    // A language entry whose data entry lies over its own table.
    std::vector<std::uint8_t> overlap = good;
    Store32(overlap, firstName + tree::kTableSize + tree::kEntryOffset, static_cast<std::uint32_t>(firstName - root));
    EXPECT_THROW(PeReader(overlap).Resources(), BrokenImage);

    // A table that counts more entries than its section holds.
    std::vector<std::uint8_t> counted = good;
    Store16(counted, manifest + tree::kTableNumberOfIdEntries, 0xFFFF);
    EXPECT_THROW(PeReader(counted).Resources(), BrokenImage);

    // Data of a resource that reaches past its section.
    std::vector<std::uint8_t> longData = good;
    const std::size_t dataEntry = root + entryTarget(good, firstName, 0);
    Store32(longData, dataEntry + tree::kDataSize, 0x10000);
    EXPECT_THROW(PeReader(longData).Resources(), BrokenImage);
}

}  // namespace
}  // namespace patcher::pe

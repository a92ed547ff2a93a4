// The PE reader on images built here byte by byte, so that what it should find is known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "tests/app/PeReader.h"
#include "tests/support/FileBytes.h"

namespace patcher::testing {
namespace {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionOffset = 0x200;
constexpr std::uint64_t kImageBase = 0x400000;

// A resource type or name: a number, or a name where Name is not empty.
struct ResourceKey {
    ResourceKey(std::uint32_t number) : Number(number) {}
    ResourceKey(const char16_t* name) : Name(name) {}

    // Named entries come first in a directory, as linkers write them.
    bool operator<(const ResourceKey& other) const {
        return std::tuple(Name.empty(), Name, Number) < std::tuple(other.Name.empty(), other.Name, other.Number);
    }

    std::uint32_t Number = 0;
    std::u16string Name;
};

// The data of a resource is Noise(Size, its index in PeBuilder::Resources).
struct Resource {
    ResourceKey Type;
    ResourceKey Name;
    std::uint32_t Size;
    std::uint16_t Language = 0x409;
};

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    if (bytes.size() < at + 2) {
        bytes.resize(at + 2);
    }
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

// One image: the headers and one section holding an import table, a delay-load table, a resource tree and
// the names, each where the data directories say.
struct PeBuilder {
    bool Is64Bit = false;
    std::uint32_t TimeStamp = 0;
    std::uint32_t ResourceTimeStamp = 0;
    std::vector<std::string> Imports;
    std::vector<std::string> DelayLoads;
    bool DelayLoadsByAddress = false;  // the oldest linkers' form
    std::vector<Resource> Resources;
    std::uint16_t Subsystem = 2;
    std::uint16_t DllCharacteristics = 0;
    bool Relocations = false;

    // Where the section's pieces landed, as relative virtual addresses (0: absent).
    std::uint32_t ImportRva = 0;
    std::uint32_t DelayRva = 0;
    std::uint32_t ResourceRva = 0;
    std::uint32_t RelocationRva = 0;

    std::vector<std::uint8_t> Build() {
        std::vector<std::uint8_t> section;
        std::vector<std::pair<std::size_t, std::string>> names;  // (field to patch, name)
        if (!Imports.empty()) {
            ImportRva = kSectionRva + static_cast<std::uint32_t>(section.size());
            for (const std::string& name : Imports) {
                const std::size_t descriptor = section.size();
                section.resize(descriptor + 20);
                Put32(section, descriptor + 16, 0x1234);  // FirstThunk: not read
                names.emplace_back(descriptor + 12, name);
            }
            section.resize(section.size() + 20);  // the empty descriptor that ends the table
        }
        if (!DelayLoads.empty()) {
            DelayRva = kSectionRva + static_cast<std::uint32_t>(section.size());
            for (const std::string& name : DelayLoads) {
                const std::size_t descriptor = section.size();
                section.resize(descriptor + 32);
                Put32(section, descriptor, DelayLoadsByAddress ? 0 : 1);
                names.emplace_back(descriptor + 4, name);
            }
            section.resize(section.size() + 32);
        }
        if (!Resources.empty()) {
            ResourceRva = kSectionRva + static_cast<std::uint32_t>(section.size());
            BuildResources(section, section.size());
        }
        if (Relocations) {
            RelocationRva = kSectionRva + static_cast<std::uint32_t>(section.size());
            Put32(section, section.size(), kSectionRva);  // one block: its page and its size, no entries
            Put32(section, section.size(), 8);
        }
        for (const auto& [field, name] : names) {
            std::uint64_t rva = kSectionRva + section.size();
            if (DelayRva != 0 && field >= DelayRva - kSectionRva && DelayLoadsByAddress) {
                rva += kImageBase;
            }
            Put32(section, field, static_cast<std::uint32_t>(rva));
            section.insert(section.end(), name.begin(), name.end());
            section.push_back(0);
        }
        section.resize((section.size() + 0x1FF) / 0x200 * 0x200);

        std::vector<std::uint8_t> image(kSectionOffset);
        image[0] = 'M';
        image[1] = 'Z';
        const std::size_t pe = 0x40;
        Put32(image, 0x3C, pe);
        Put32(image, pe, 0x00004550);
        const std::size_t coff = pe + 4;
        Put16(image, coff, Is64Bit ? 0x8664 : 0x14C);
        Put16(image, coff + 2, 1);  // one section
        Put32(image, coff + 4, TimeStamp);
        const std::uint32_t optionalSize = Is64Bit ? 240 : 224;
        Put16(image, coff + 16, optionalSize);
        const std::size_t optional = coff + 20;
        Put16(image, optional, Is64Bit ? 0x20B : 0x10B);
        if (Is64Bit) {
            Put32(image, optional + 24, static_cast<std::uint32_t>(kImageBase));
        } else {
            Put32(image, optional + 28, static_cast<std::uint32_t>(kImageBase));
        }
        Put16(image, optional + 68, Subsystem);
        Put16(image, optional + 70, DllCharacteristics);
        const std::size_t count = optional + (Is64Bit ? 108 : 92);
        Put32(image, count, 16);
        const auto directory = [&](std::size_t index, std::uint32_t rva, std::uint32_t size) {
            Put32(image, count + 4 + index * 8, rva);
            Put32(image, count + 8 + index * 8, size);
        };
        directory(1, ImportRva, ImportRva != 0 ? 20 : 0);
        directory(2, ResourceRva, ResourceRva != 0 ? 16 : 0);
        directory(5, RelocationRva, RelocationRva != 0 ? 8 : 0);
        directory(13, DelayRva, DelayRva != 0 ? 32 : 0);
        const std::size_t table = optional + optionalSize;
        const char sectionName[] = ".data";
        std::copy(std::begin(sectionName), std::end(sectionName) - 1,
                  image.begin() + static_cast<std::ptrdiff_t>(table));
        Put32(image, table + 8, static_cast<std::uint32_t>(section.size()));  // virtual size
        Put32(image, table + 12, kSectionRva);
        Put32(image, table + 16, static_cast<std::uint32_t>(section.size()));  // raw size
        Put32(image, table + 20, kSectionOffset);
        image.resize(kSectionOffset);
        image.insert(image.end(), section.begin(), section.end());
        return image;
    }

  private:
    // Root (types) -> one directory per type (names) -> one per name (languages) -> data entries -> data,
    // then the names that entries point at.
    void BuildResources(std::vector<std::uint8_t>& section, std::size_t root) {
        std::map<ResourceKey, std::map<ResourceKey, std::map<std::uint16_t, std::size_t>>> tree;
        for (std::size_t i = 0; i < Resources.size(); ++i) {
            tree[Resources[i].Type][Resources[i].Name][Resources[i].Language] = i;
        }
        const auto directory = [&](std::size_t entries, std::size_t named, std::uint32_t stamp) {
            const std::size_t at = section.size();
            section.resize(at + 16 + entries * 8);
            Put32(section, at + 4, stamp);
            Put16(section, at + 12, static_cast<std::uint32_t>(named));
            Put16(section, at + 14, static_cast<std::uint32_t>(entries - named));
            return at;
        };
        const auto namedKeys = [](const auto& level) {
            return static_cast<std::size_t>(
                std::count_if(level.begin(), level.end(), [](const auto& item) { return !item.first.Name.empty(); }));
        };
        std::vector<std::pair<std::size_t, std::u16string>> names;  // (field to patch, name)
        const auto entry = [&](std::size_t directoryAt, std::size_t index, const ResourceKey& key, std::size_t target,
                               bool isDirectory) {
            const std::size_t at = directoryAt + 16 + index * 8;
            if (key.Name.empty()) {
                Put32(section, at, key.Number);
            } else {
                names.emplace_back(at, key.Name);
            }
            Put32(section, at + 4, (isDirectory ? 0x80000000U : 0U) | static_cast<std::uint32_t>(target - root));
        };

        directory(tree.size(), namedKeys(tree), ResourceTimeStamp);  // the root, at root
        std::size_t typeIndex = 0;
        for (const auto& [type, byName] : tree) {
            const std::size_t typeAt = directory(byName.size(), namedKeys(byName), 0);
            entry(root, typeIndex++, type, typeAt, true);
            std::size_t nameIndex = 0;
            for (const auto& [name, byLanguage] : byName) {
                const std::size_t nameAt = directory(byLanguage.size(), 0, 0);
                entry(typeAt, nameIndex++, name, nameAt, true);
                std::size_t languageIndex = 0;
                for (const auto& [language, index] : byLanguage) {
                    const std::size_t dataEntry = section.size();
                    section.resize(dataEntry + 16);
                    entry(nameAt, languageIndex++, language, dataEntry, false);
                    const std::vector<std::uint8_t> bytes =
                        Noise(Resources[index].Size, static_cast<std::uint32_t>(index));
                    Put32(section, dataEntry, kSectionRva + static_cast<std::uint32_t>(section.size()));
                    Put32(section, dataEntry + 4, static_cast<std::uint32_t>(bytes.size()));
                    section.insert(section.end(), bytes.begin(), bytes.end());
                }
            }
        }
        for (const auto& [field, name] : names) {
            const std::size_t at = section.size();
            Put32(section, field, 0x80000000U | static_cast<std::uint32_t>(at - root));
            Put16(section, at, static_cast<std::uint32_t>(name.size()));
            for (const char16_t c : name) {
                Put16(section, section.size(), c);
            }
        }
    }
};

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
    const std::vector<PeReader::Resource> resources = PeReader(image).Resources();

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
    EXPECT_EQ(resources[2].Name, (PeReader::ResourceId{0, u"PVOKAREN1A"}));
    EXPECT_EQ(resources[6].Type, (PeReader::ResourceId{16, u""}));

    PeBuilder none;
    none.Imports = {"KERNEL32.dll"};
    const std::vector<std::uint8_t> plain = none.Build();
    EXPECT_TRUE(PeReader(plain).Resources().empty());
}

TEST(PeReader, ReadsTheSubsystemSecurityFlagsAndRelocationsOfBothFormats) {
    for (const bool is64Bit : {false, true}) {
        PeBuilder gui;
        gui.Is64Bit = is64Bit;
        gui.Subsystem = 2;
        gui.DllCharacteristics = 0x0160;
        gui.Relocations = true;
        const std::vector<std::uint8_t> guiImage = gui.Build();
        const PeReader guiReader(guiImage);
        EXPECT_EQ(guiReader.Subsystem(), 2);
        EXPECT_EQ(guiReader.DllCharacteristics(), 0x0160);
        EXPECT_TRUE(guiReader.HasRelocations());

        PeBuilder console;
        console.Is64Bit = is64Bit;
        console.Subsystem = 3;
        console.DllCharacteristics = 0x0100;
        const std::vector<std::uint8_t> consoleImage = console.Build();
        const PeReader consoleReader(consoleImage);
        EXPECT_EQ(consoleReader.Subsystem(), 3);
        EXPECT_EQ(consoleReader.DllCharacteristics(), 0x0100);
        EXPECT_FALSE(consoleReader.HasRelocations());
    }
}

TEST(PeReader, RefusesBrokenFiles) {
    PeBuilder builder;
    builder.Imports = {"KERNEL32.dll"};
    builder.Resources = {{10, u"PACKED", 16}};
    const std::vector<std::uint8_t> good = builder.Build();
    ASSERT_NO_THROW(PeReader(good).ImportedDlls());
    ASSERT_NO_THROW(PeReader(good).Resources());

    std::vector<std::uint8_t> notMz = good;
    notMz[0] = 'X';
    EXPECT_THROW(PeReader{notMz}, std::invalid_argument);

    const std::vector<std::uint8_t> headersOnly(good.begin(), good.begin() + 0x100);
    EXPECT_THROW(PeReader{headersOnly}, std::invalid_argument);

    // The section cut short: the tables point past the end of the file.
    const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + kSectionOffset + 8);
    EXPECT_THROW(PeReader(truncated).ImportedDlls(), std::invalid_argument);
    EXPECT_THROW(PeReader(truncated).ResourcesOfType(10), std::invalid_argument);

    // An import table at an address that no section holds.
    std::vector<std::uint8_t> elsewhere = good;
    const std::size_t importDirectory = 0x40 + 4 + 20 + 96 + 8;
    Put32(elsewhere, importDirectory, 0x9000);
    EXPECT_THROW(PeReader(elsewhere).ImportedDlls(), std::invalid_argument);

    // A name that runs to the end of the file without its zero byte.
    std::vector<std::uint8_t> endless = good;
    const std::string name = "KERNEL32.dll";
    const auto found = std::search(endless.begin(), endless.end(), name.begin(), name.end());
    ASSERT_NE(found, endless.end());
    std::fill(found, endless.end(), static_cast<std::uint8_t>('A'));
    EXPECT_THROW(PeReader(endless).ImportedDlls(), std::invalid_argument);

    // A resource name whose count of letters reaches past the end of the file.
    std::vector<std::uint8_t> overlong = good;
    const std::vector<std::uint8_t> counted = {6, 0, 'P', 0, 'A', 0};
    const auto counter = std::search(overlong.begin(), overlong.end(), counted.begin(), counted.end());
    ASSERT_NE(counter, overlong.end());
    *counter = 0xFF;
    EXPECT_THROW(PeReader(overlong).Resources(), std::invalid_argument);
}

}  // namespace
}  // namespace patcher::testing

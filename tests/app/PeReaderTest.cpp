// The PE reader on images built here byte by byte, so that what it should find is known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/app/PeReader.h"

namespace patcher::testing {
namespace {

constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kSectionOffset = 0x200;
constexpr std::uint64_t kImageBase = 0x400000;

struct Resource {
    std::uint32_t Type;
    std::uint32_t Id;
    std::uint32_t Size;
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

    // Where the section's pieces landed, as relative virtual addresses (0: absent).
    std::uint32_t ImportRva = 0;
    std::uint32_t DelayRva = 0;
    std::uint32_t ResourceRva = 0;

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
        const std::size_t count = optional + (Is64Bit ? 108 : 92);
        Put32(image, count, 16);
        const auto directory = [&](std::size_t index, std::uint32_t rva, std::uint32_t size) {
            Put32(image, count + 4 + index * 8, rva);
            Put32(image, count + 8 + index * 8, size);
        };
        directory(1, ImportRva, ImportRva != 0 ? 20 : 0);
        directory(2, ResourceRva, ResourceRva != 0 ? 16 : 0);
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
    // Root (types) -> one directory per type (ids) -> one per resource (a language) -> data entry -> data.
    void BuildResources(std::vector<std::uint8_t>& section, std::size_t root) {
        std::map<std::uint32_t, std::vector<Resource>> byType;
        for (const Resource& resource : Resources) {
            byType[resource.Type].push_back(resource);
        }
        const auto directory = [&](std::size_t at, std::size_t entries, std::uint32_t stamp) {
            section.resize(at + 16 + entries * 8);
            Put32(section, at + 4, stamp);
            Put16(section, at + 14, static_cast<std::uint32_t>(entries));
        };
        directory(root, byType.size(), ResourceTimeStamp);
        std::size_t typeIndex = 0;
        for (const auto& [type, resources] : byType) {
            const std::size_t typeDirectory = section.size();
            Put32(section, root + 16 + typeIndex * 8, type);
            Put32(section, root + 20 + typeIndex * 8, 0x80000000U | static_cast<std::uint32_t>(typeDirectory - root));
            ++typeIndex;
            directory(typeDirectory, resources.size(), 0);
            for (std::size_t i = 0; i < resources.size(); ++i) {
                const std::size_t nameDirectory = section.size();
                Put32(section, typeDirectory + 16 + i * 8, resources[i].Id);
                Put32(section, typeDirectory + 20 + i * 8,
                      0x80000000U | static_cast<std::uint32_t>(nameDirectory - root));
                directory(nameDirectory, 1, 0);
                const std::size_t dataEntry = section.size();
                Put32(section, nameDirectory + 16, 0x409);
                Put32(section, nameDirectory + 20, static_cast<std::uint32_t>(dataEntry - root));
                section.resize(dataEntry + 16);
                const std::size_t data = section.size();
                Put32(section, dataEntry, kSectionRva + static_cast<std::uint32_t>(data));
                Put32(section, dataEntry + 4, resources[i].Size);
                section.resize(data + resources[i].Size, 0xAB);
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

TEST(PeReader, RefusesBrokenFiles) {
    PeBuilder builder;
    builder.Imports = {"KERNEL32.dll"};
    builder.Resources = {{10, 1, 16}};
    const std::vector<std::uint8_t> good = builder.Build();
    ASSERT_NO_THROW(PeReader(good).ImportedDlls());

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
}

}  // namespace
}  // namespace patcher::testing

// The resource writer on stub programs that MinGW built, and on hand-built images where they show a corner
// better. What it writes is read back with the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/pe/PeBuilder.h"
#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/ResourceWriter.h"

namespace patcher::pe {
namespace {

using testing::Noise;
using testing::PeBuilder;
using testing::StubProgram;
using testing::StubPrograms;

ResourceId Number(std::uint32_t number) {
    return ResourceId::Numbered(number);
}

ResourceId Name(const char16_t* name) {
    return ResourceId::Named(name);
}

// What a patcher's build would write: the exit code in place of the stub's, packed data, flag pictures,
// version information in a second language, a named type and an empty resource, a name beyond ASCII.
std::vector<PeResource> Additions() {
    return {{Number(resources::kRcData), Name(u"EXITCODE"), 0x409, {42, 0, 0, 0}},
            {Number(resources::kRcData), Name(u"PVOKAREN1A"), 0x409, Noise(300000, 1)},
            {Number(resources::kRcData), Name(u"PVOKAREN1B"), 0x409, Noise(5, 2)},
            {Number(resources::kBitmap), Name(u"FLAG_PL"), 0x409, Noise(392, 3)},
            {Number(resources::kBitmap), Name(u"FLAG_DE"), 0x409, Noise(391, 4)},
            {Number(resources::kVersion), Number(1), 0x415, Noise(100, 5)},
            {Name(u"TYPEFONT"), Number(3), 0, {}},
            {Number(300), Name(u"P\u0104SKI"), 0x415, Noise(17, 6)}};
}

struct Row {
    std::string Type;
    std::string Name;
    std::uint32_t Language;
    std::vector<std::uint8_t> Bytes;
    friend bool operator==(const Row&, const Row&) = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << row.Type << " " << row.Name << " " << row.Language << ": " << row.Bytes.size() << " bytes";
}

std::vector<Row> Rows(const PeReader& reader) {
    std::vector<Row> rows;
    for (const PeReader::Resource& resource : reader.Resources()) {
        rows.push_back({resource.Type.Text(), resource.Name.Text(), resource.Language,
                        std::vector<std::uint8_t>(resource.Bytes.begin(), resource.Bytes.end())});
    }
    return rows;
}

std::uint32_t MemoryEnd(const PeReader::Section& section) {
    return section.VirtualAddress + std::max(section.VirtualSize, section.RawSize);
}

// What every image the writer returns must be: sections that follow each other in memory and in the file,
// aligned, the resources last; sizes, directories and checksum that agree with them.
void ExpectSoundImage(const std::vector<std::uint8_t>& image) {
    const PeReader reader(image);
    const std::vector<PeReader::Section>& sections = reader.Sections();
    ASSERT_FALSE(sections.empty());
    const PeReader::Section& last = sections.back();
    EXPECT_EQ(last.Name, ".rsrc");
    std::uint64_t rawEnd = reader.SizeOfHeaders();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const PeReader::Section& section = sections[i];
        if (i > 0) {
            const PeReader::Section& previous = sections[i - 1];
            EXPECT_EQ(section.VirtualAddress, AlignUp(MemoryEnd(previous), reader.SectionAlignment())) << section.Name;
        }
        EXPECT_EQ(section.VirtualAddress % reader.SectionAlignment(), 0U) << section.Name;
        EXPECT_EQ(section.RawSize % reader.FileAlignment(), 0U) << section.Name;
        if (section.RawSize != 0) {
            EXPECT_EQ(section.RawOffset, rawEnd) << section.Name;
            rawEnd = section.RawOffset + std::uint64_t{section.RawSize};
        }
    }
    EXPECT_EQ(rawEnd, image.size());
    EXPECT_EQ(reader.SizeOfImage(), AlignUp(last.VirtualAddress + last.VirtualSize, reader.SectionAlignment()));

    EXPECT_EQ(reader.Directory(kResourceTable).Rva, last.VirtualAddress);
    EXPECT_EQ(reader.Directory(kResourceTable).Size, last.VirtualSize);
    for (std::size_t index = 0; index < optional::kMaxDataDirectories; ++index) {
        const PeReader::DataDirectory directory = reader.Directory(index);
        if (index == kCertificateTable || directory.Rva == 0) {
            continue;
        }
        EXPECT_TRUE(std::any_of(sections.begin(), sections.end(),
                                [&](const PeReader::Section& section) {
                                    return directory.Rva >= section.VirtualAddress &&
                                           directory.Rva + std::uint64_t{directory.Size} <= MemoryEnd(section);
                                }))
            << "data directory " << index << " lies outside its section";
    }

    std::uint32_t initializedData = 0;
    for (const PeReader::Section& section : sections) {
        if ((section.Characteristics & section::kCntInitializedData) != 0) {
            initializedData += section.RawSize;
        }
    }
    EXPECT_EQ(reader.SizeOfInitializedData(), initializedData);
    EXPECT_EQ(reader.CheckSum(), PeChecksum(image));
    EXPECT_EQ(reader.ResourceTimeStamp(), 0U);
}

const PeReader::Section& SectionNamed(const PeReader& reader, const std::string& name) {
    const auto found = std::find_if(reader.Sections().begin(), reader.Sections().end(),
                                    [&](const PeReader::Section& section) { return section.Name == name; });
    if (found == reader.Sections().end()) {
        throw std::runtime_error("no section " + name);
    }
    return *found;
}

TEST(ResourceWriter, WritesIntoARealStubWhatTheReaderFindsByteForByte) {
    const std::vector<StubProgram> stubs = StubPrograms();
    ASSERT_FALSE(stubs.empty());
    for (const StubProgram& stub : stubs) {
        SCOPED_TRACE(stub.Path.string());
        ASSERT_FALSE(stub.Bytes.empty());
        const PeReader before(stub.Bytes);
        // The linker's layout, which makes the writer move the relocations.
        ASSERT_EQ(before.Sections().back().Name, ".reloc");
        ASSERT_EQ(before.Sections()[before.Sections().size() - 2].Name, ".rsrc");

        const std::vector<std::uint8_t> image = WithResources(stub.Bytes, Additions());
        ExpectSoundImage(image);
        const PeReader after(image);
        const std::vector<PeResource> added = Additions();
        const auto bytesOf = [&](std::size_t i) { return added[i].Bytes; };
        const auto own = [&](std::uint32_t type) {
            const std::span<const std::uint8_t> bytes = before.FirstResource(type, Number(1));
            return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
        };
        // Named types and names first, then numbers; names in order of their units, numbers ascending.
        const std::vector<Row> expected = {{"TYPEFONT", "#3", 0, bytesOf(6)},
                                           {"#2", "FLAG_DE", 0x409, bytesOf(4)},
                                           {"#2", "FLAG_PL", 0x409, bytesOf(3)},
                                           {"#10", "EXITCODE", 0x409, bytesOf(0)},
                                           {"#10", "PVOKAREN1A", 0x409, bytesOf(1)},
                                           {"#10", "PVOKAREN1B", 0x409, bytesOf(2)},
                                           {"#16", "#1", 0x409, own(resources::kVersion)},
                                           {"#16", "#1", 0x415, bytesOf(5)},
                                           {"#24", "#1", 0x409, own(resources::kManifest)},
                                           {"#300", "P\\u0104SKI", 0x415, bytesOf(7)}};
        ASSERT_FALSE(expected[6].Bytes.empty());
        ASSERT_FALSE(expected[8].Bytes.empty());
        EXPECT_EQ(Rows(after), expected);

        // The sections before the resources kept their places and their bytes.
        const std::size_t kept = before.Sections().size() - 2;
        for (std::size_t i = 0; i < kept; ++i) {
            const PeReader::Section& old = before.Sections()[i];
            const PeReader::Section& now = after.Sections()[i];
            EXPECT_EQ(now.Name, old.Name);
            EXPECT_EQ(now.VirtualAddress, old.VirtualAddress) << old.Name;
            EXPECT_EQ(now.RawOffset, old.RawOffset) << old.Name;
            EXPECT_TRUE(std::ranges::equal(after.SectionBytes(now), before.SectionBytes(old))) << old.Name;
        }
        // The relocations moved into the resources' place, their directory with them.
        const PeReader::Section& oldRelocations = SectionNamed(before, ".reloc");
        const PeReader::Section& relocations = SectionNamed(after, ".reloc");
        EXPECT_EQ(relocations.VirtualAddress, before.Sections()[kept].VirtualAddress);
        EXPECT_TRUE(std::ranges::equal(after.SectionBytes(relocations), before.SectionBytes(oldRelocations)));
        EXPECT_EQ(after.Directory(kBaseRelocationTable).Rva - relocations.VirtualAddress,
                  before.Directory(kBaseRelocationTable).Rva - oldRelocations.VirtualAddress);
        EXPECT_EQ(after.Directory(kBaseRelocationTable).Size, before.Directory(kBaseRelocationTable).Size);
        EXPECT_FALSE(after.RelocationBlocks().empty());
        EXPECT_EQ(after.RelocationBlocks(), before.RelocationBlocks());
        EXPECT_EQ(after.ImportedDlls(), before.ImportedDlls());

        // The same inputs give the same bytes, and so does writing the same resources again.
        EXPECT_EQ(WithResources(stub.Bytes, Additions()), image);
        EXPECT_EQ(WithResources(image, Additions()), image);
    }
}

TEST(ResourceWriter, AddsAResourceSectionToAProgramWithoutOne) {
    PeBuilder builder;
    builder.Imports = {"KERNEL32.dll", "USER32.dll"};
    const std::vector<std::uint8_t> stub = builder.Build();
    ASSERT_TRUE(PeReader(stub).Resources().empty());

    const std::vector<PeResource> added = {{Number(resources::kRcData), Name(u"PACKED"), 0x415, Noise(3000, 9)}};
    const std::vector<std::uint8_t> image = WithResources(stub, added);
    ExpectSoundImage(image);
    const PeReader reader(image);
    ASSERT_EQ(reader.Sections().size(), 2U);
    EXPECT_EQ(reader.Sections()[1].Characteristics, section::kCntInitializedData | section::kMemRead);
    EXPECT_EQ(Rows(reader), (std::vector<Row>{{"#10", "PACKED", 0x415, Noise(3000, 9)}}));
    EXPECT_EQ(reader.ImportedDlls(), (std::vector<std::string>{"KERNEL32.dll", "USER32.dll"}));
}

TEST(ResourceWriter, RefusesStubsItCannotWriteInto) {
    const std::vector<StubProgram> stubs = StubPrograms();
    ASSERT_FALSE(stubs.empty());
    const std::vector<std::uint8_t>& stub = stubs.front().Bytes;
    const PeReader reader(stub);
    ASSERT_NO_THROW(WithResources(stub, Additions()));

    std::vector<std::uint8_t> signedStub = stub;
    Store32(signedStub, reader.Places().DataDirectories + kCertificateTable * 8,
            static_cast<std::uint32_t>(stub.size()));
    Store32(signedStub, reader.Places().DataDirectories + kCertificateTable * 8 + 4, 8);
    signedStub.resize(stub.size() + 8);
    EXPECT_THROW(WithResources(signedStub, Additions()), UnsuitableStub);

    std::vector<std::uint8_t> overlay = stub;
    overlay.resize(stub.size() + 512, 0);
    EXPECT_THROW(WithResources(overlay, Additions()), UnsuitableStub);

    // A section after the resources that is neither the relocations nor discardable may not move; a
    // discardable one may.
    const std::size_t relocations =
        reader.Places().SectionTable + (reader.Sections().size() - 1) * section::kHeaderSize;
    std::vector<std::uint8_t> renamed = stub;
    renamed[relocations + 1] = 'x';
    ASSERT_EQ(PeReader(renamed).Sections().back().Name, ".xeloc");
    EXPECT_NO_THROW(WithResources(renamed, Additions()));
    Store32(renamed, relocations + section::kCharacteristics,
            reader.Sections().back().Characteristics & ~section::kMemDiscardable);
    EXPECT_THROW(WithResources(renamed, Additions()), UnsuitableStub);

    // Resources that share their section with other data.
    PeBuilder shared;
    shared.Imports = {"KERNEL32.dll"};
    shared.Resources = {{10, 1, 40}};
    EXPECT_THROW(WithResources(shared.Build(), Additions()), UnsuitableStub);

    // Relocations that fix bytes in the section of the resources, which moves.
    PeBuilder fixed;
    fixed.Resources = {{10, 1, 40}};
    fixed.Relocations = {{testing::kBuiltSectionRva, {0x3010}}};
    EXPECT_THROW(WithResources(fixed.Build(), Additions()), UnsuitableStub);

    // No room in the headers for one more section.
    PeBuilder plain;
    const std::vector<std::uint8_t> full = [&] {
        std::vector<std::uint8_t> image = plain.Build();
        const PeReader built(image);
        Store32(image, built.Places().Optional + optional::kSizeOfHeaders,
                static_cast<std::uint32_t>(built.Places().SectionTable + section::kHeaderSize));
        return image;
    }();
    EXPECT_THROW(WithResources(full, Additions()), UnsuitableStub);

    const std::vector<std::uint8_t> notAProgram(4096, 0x4D);
    EXPECT_THROW(WithResources(notAProgram, Additions()), BrokenImage);
    const std::vector<std::uint8_t> cut(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(stub.size() / 2));
    EXPECT_THROW(WithResources(cut, Additions()), BrokenImage);
}

TEST(ResourceWriter, RefusesResourcesItCannotWrite) {
    const std::vector<StubProgram> stubs = StubPrograms();
    ASSERT_FALSE(stubs.empty());
    const std::vector<std::uint8_t>& stub = stubs.front().Bytes;
    const auto refuses = [&](PeResource resource) {
        std::vector<PeResource> resources = Additions();
        resources.push_back(std::move(resource));
        EXPECT_THROW(WithResources(stub, resources), std::invalid_argument);
    };
    refuses({Number(70000), Number(1), 0, {1}});
    refuses({Number(resources::kRcData), Number(0x10000), 0, {1}});
    refuses({Number(resources::kRcData), Name(u"Packed"), 0, {1}});  // FindResource would never find it
    refuses(Additions()[3]);                                         // given twice
}

}  // namespace
}  // namespace patcher::pe

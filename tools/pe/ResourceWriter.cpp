#include "tools/pe/ResourceWriter.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/ResourceSection.h"

namespace patcher::pe {
namespace {

using Section = PeReader::Section;

constexpr std::uint32_t kMaxId = 0xFFFF;
constexpr std::uint32_t kNewSectionCharacteristics = section::kCntInitializedData | section::kMemRead;
constexpr char kResourceSectionName[] = ".rsrc";

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The room a section takes in memory, from its address: its data in the file counts too, which in odd
// images is longer than the size it has in memory.
std::uint64_t MemoryExtent(const Section& section) {
    return std::max(section.VirtualSize, section.RawSize);
}

bool Holds(const Section& section, std::uint32_t rva) {
    return rva >= section.VirtualAddress && rva - section.VirtualAddress < MemoryExtent(section);
}

struct TreeKey {
    ResourceId Type;
    ResourceId Name;
    std::uint16_t Language;
};

struct KeyOrder {
    bool operator()(const TreeKey& left, const TreeKey& right) const {
        if (left.Type != right.Type) {
            return TreeOrder(left.Type, right.Type);
        }
        if (left.Name != right.Name) {
            return TreeOrder(left.Name, right.Name);
        }
        return left.Language < right.Language;
    }
};

using MergedResources = std::map<TreeKey, std::span<const std::uint8_t>, KeyOrder>;

void CheckGiven(const ResourceId& id) {
    if (id.IsName() ? id.Name.size() > kMaxId : id.Number > kMaxId) {
        throw std::invalid_argument("resource " + id.Text() + ": a number or name too large for the tree");
    }
    // FindResource looks a name up in capitals: a name with small letters would never be found.
    if (std::any_of(id.Name.begin(), id.Name.end(), [](char16_t c) { return c >= u'a' && c <= u'z'; })) {
        throw std::invalid_argument("resource " + id.Text() + ": Windows looks names up in capitals");
    }
}

// The stub's resources, with the given ones added or put in their place.
MergedResources Merge(const PeReader& stub, std::span<const PeResource> given) {
    MergedResources merged;
    for (const PeReader::Resource& own : stub.Resources()) {
        if (own.Language > kMaxId) {
            throw UnsuitableStub("a resource of language " + std::to_string(own.Language));
        }
        merged[{own.Type, own.Name, static_cast<std::uint16_t>(own.Language)}] = own.Bytes;
    }
    std::set<TreeKey, KeyOrder> seen;
    for (const PeResource& resource : given) {
        CheckGiven(resource.Type);
        CheckGiven(resource.Name);
        const TreeKey key{resource.Type, resource.Name, resource.Language};
        if (!seen.insert(key).second) {
            throw std::invalid_argument("resource " + resource.Type.Text() + " " + resource.Name.Text() + " language " +
                                        std::to_string(resource.Language) + " is given twice");
        }
        merged[key] = resource.Bytes;
    }
    return merged;
}

// Where the sections go: those before the resources stay, those after them move up into the resources'
// place, and the new resources follow them.
struct Layout {
    std::size_t Resources;    // index of the resource section in the stub's table; the section count if none
    std::uint32_t KeptBytes;  // the stub's bytes up to the resource section's data, which stay as they are
    std::vector<Section> Moved;
    Section NewResources;
};

void CheckStub(const PeReader& stub) {
    if (const PeReader::DataDirectory certificates = stub.Directory(kCertificateTable);
        certificates.Rva != 0 || certificates.Size != 0) {
        throw UnsuitableStub("it is signed (its resources are written before it is signed)");
    }
    if (stub.Places().DataDirectoryCount <= kResourceTable) {
        throw UnsuitableStub("its headers have no place for a resource directory");
    }
    if (stub.SizeOfHeaders() > stub.Image().size()) {
        throw BrokenImage("headers larger than the file");
    }
    if (!IsPowerOfTwo(stub.FileAlignment()) || !IsPowerOfTwo(stub.SectionAlignment()) ||
        stub.SectionAlignment() < stub.FileAlignment()) {
        throw BrokenImage("section or file alignment that is not a power of two");
    }
    std::uint64_t rawEnd = stub.SizeOfHeaders();
    std::uint32_t previousRva = 0;
    for (const Section& section : stub.Sections()) {
        stub.SectionBytes(section);  // inside the file
        if (section.VirtualAddress < previousRva) {
            throw BrokenImage("sections out of the order of their addresses");
        }
        previousRva = section.VirtualAddress;
        if (section.RawSize != 0) {
            if (section.RawOffset < rawEnd) {
                throw UnsuitableStub("section " + section.Name + " lies before the one above it in the file");
            }
            rawEnd = std::uint64_t{section.RawOffset} + section.RawSize;
        }
    }
    if (stub.Image().size() > rawEnd) {
        const bool symbols = Load32(stub.Image(), stub.Places().Coff + coff::kPointerToSymbolTable) != 0;
        throw UnsuitableStub(symbols ? "it carries its symbol table after its last section (link it stripped)"
                                     : "it carries data after its last section");
    }
}

Layout PlanLayout(const PeReader& stub) {
    const std::vector<Section>& sections = stub.Sections();
    const std::uint32_t fileAlignment = stub.FileAlignment();
    const std::uint32_t sectionAlignment = stub.SectionAlignment();
    Layout layout{sections.size(), static_cast<std::uint32_t>(stub.Image().size()), {}, {}};
    std::uint64_t rva = AlignUp<std::uint64_t>(stub.SizeOfHeaders(), sectionAlignment);
    if (!sections.empty()) {
        rva = AlignUp<std::uint64_t>(sections.back().VirtualAddress + MemoryExtent(sections.back()), sectionAlignment);
    }
    std::uint64_t offset = AlignUp<std::uint64_t>(stub.Image().size(), fileAlignment);

    const PeReader::DataDirectory tree = stub.Directory(kResourceTable);
    if (tree.Rva != 0) {
        const auto holder = std::find_if(sections.begin(), sections.end(),
                                         [&](const Section& section) { return Holds(section, tree.Rva); });
        if (holder == sections.end()) {
            throw BrokenImage("resource tree outside every section");
        }
        if (holder->VirtualAddress != tree.Rva) {
            throw UnsuitableStub("its resources share section " + holder->Name + " with other data");
        }
        layout.Resources = static_cast<std::size_t>(holder - sections.begin());
        layout.KeptBytes = holder->RawOffset;
        rva = holder->VirtualAddress;
        offset = AlignUp<std::uint64_t>(holder->RawOffset, fileAlignment);
        for (auto moving = holder + 1; moving != sections.end(); ++moving) {
            if (moving->Name != ".reloc" && (moving->Characteristics & section::kMemDiscardable) == 0) {
                throw UnsuitableStub("section " + moving->Name +
                                     " follows the resources, and only relocations and discardable sections may move");
            }
            Section moved = *moving;
            moved.VirtualAddress = static_cast<std::uint32_t>(rva);
            moved.RawOffset = moved.RawSize == 0 ? 0 : static_cast<std::uint32_t>(offset);
            layout.Moved.push_back(moved);
            rva += AlignUp<std::uint64_t>(MemoryExtent(*moving), sectionAlignment);
            offset += AlignUp<std::uint64_t>(moving->RawSize, fileAlignment);
        }
    }
    if (rva > UINT32_MAX || offset > UINT32_MAX) {
        throw UnsuitableStub("no room in its address space for more resources");
    }
    layout.NewResources.VirtualAddress = static_cast<std::uint32_t>(rva);
    layout.NewResources.RawOffset = static_cast<std::uint32_t>(offset);
    return layout;
}

// Nothing in the stub may point into the resources or the sections that move but what moves with them: the
// base relocations, and the data directories that this writer sets anew. A relocation that fixes bytes
// there, or a debug directory (whose entries hold file offsets), would be left pointing at the old places.
void CheckNothingPointsInto(const PeReader& stub, const Layout& layout) {
    const std::vector<Section>& sections = stub.Sections();
    const auto moves = [&](std::uint32_t rva) {
        return std::any_of(sections.begin() + static_cast<std::ptrdiff_t>(layout.Resources), sections.end(),
                           [&](const Section& section) { return Holds(section, rva); });
    };
    if (const PeReader::DataDirectory debug = stub.Directory(kDebug); debug.Rva != 0 && moves(debug.Rva)) {
        throw UnsuitableStub("its debug directory lies in a section that has to move");
    }
    for (std::size_t index = 0; index < stub.Places().DataDirectoryCount; ++index) {
        const PeReader::DataDirectory directory = stub.Directory(index);
        if (index != kResourceTable && index != kCertificateTable && layout.Resources < sections.size() &&
            directory.Rva != 0 && Holds(sections[layout.Resources], directory.Rva)) {
            throw UnsuitableStub("data directory " + std::to_string(index) + " lies among the resources");
        }
    }
    for (const PeReader::RelocationBlock& block : stub.RelocationBlocks()) {
        if (!block.Entries.empty() && moves(block.PageRva)) {
            throw UnsuitableStub("relocations fix bytes in a section that has to move");
        }
    }
}

// The section table from the resources' place on: the moved sections' headers, then the resources' (the
// stub's own, or a new one), each with its new place and size.
void StoreSectionTable(std::vector<std::uint8_t>& image, const PeReader& stub, const Layout& layout) {
    const auto storeFields = [&](std::size_t at, const Section& placed) {
        Store32(image, at + section::kVirtualSize, placed.VirtualSize);
        Store32(image, at + section::kVirtualAddress, placed.VirtualAddress);
        Store32(image, at + section::kSizeOfRawData, placed.RawSize);
        Store32(image, at + section::kPointerToRawData, placed.RawOffset);
        Store32(image, at + section::kCharacteristics, placed.Characteristics);
    };
    const auto copyHeader = [&](std::size_t index, std::size_t at) {
        const std::span<const std::uint8_t> header =
            stub.Image().subspan(stub.Places().SectionTable + index * section::kHeaderSize, section::kHeaderSize);
        std::copy(header.begin(), header.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    };
    std::size_t at = stub.Places().SectionTable + layout.Resources * section::kHeaderSize;
    for (std::size_t i = 0; i < layout.Moved.size(); ++i, at += section::kHeaderSize) {
        copyHeader(layout.Resources + 1 + i, at);
        storeFields(at, layout.Moved[i]);
    }
    if (layout.Resources < stub.Sections().size()) {
        copyHeader(layout.Resources, at);
    } else {
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), section::kHeaderSize, 0);
        std::copy(std::begin(kResourceSectionName), std::end(kResourceSectionName) - 1,
                  image.begin() + static_cast<std::ptrdiff_t>(at));
    }
    storeFields(at, layout.NewResources);
    Store16(image, stub.Places().Coff + coff::kNumberOfSections,
            static_cast<std::uint32_t>(layout.Resources + layout.Moved.size() + 1));
}

// The data directories: the resources', and those that lie in a moved section, which move with it.
void StoreDataDirectories(std::vector<std::uint8_t>& image, const PeReader& stub, const Layout& layout) {
    for (std::size_t index = 0; index < stub.Places().DataDirectoryCount; ++index) {
        const std::size_t at = stub.Places().DataDirectories + index * optional::kDataDirectoryEntrySize;
        const PeReader::DataDirectory directory = stub.Directory(index);
        if (index == kResourceTable) {
            Store32(image, at, layout.NewResources.VirtualAddress);
            Store32(image, at + 4, layout.NewResources.VirtualSize);
        } else if (index != kCertificateTable && directory.Rva != 0) {
            for (std::size_t i = 0; i < layout.Moved.size(); ++i) {
                const Section& old = stub.Sections()[layout.Resources + 1 + i];
                if (Holds(old, directory.Rva)) {
                    Store32(image, at, directory.Rva - old.VirtualAddress + layout.Moved[i].VirtualAddress);
                }
            }
        }
    }
}

// The sizes that the optional header sums up, and its checksum, which covers everything else.
void StoreSizesAndChecksum(std::vector<std::uint8_t>& image, const PeReader& stub, const Layout& layout) {
    std::vector<Section> table(stub.Sections().begin(),
                               stub.Sections().begin() + static_cast<std::ptrdiff_t>(layout.Resources));
    table.insert(table.end(), layout.Moved.begin(), layout.Moved.end());
    table.push_back(layout.NewResources);
    // As the linker counts it: the room in the file of every section that holds initialised data.
    std::uint64_t initializedData = 0;
    for (const Section& placed : table) {
        if ((placed.Characteristics & section::kCntInitializedData) != 0) {
            initializedData += placed.RawSize;
        }
    }
    const std::size_t header = stub.Places().Optional;
    Store32(image, header + optional::kSizeOfInitializedData, static_cast<std::uint32_t>(initializedData));
    Store32(image, header + optional::kSizeOfImage,
            static_cast<std::uint32_t>(AlignUp<std::uint64_t>(
                std::uint64_t{table.back().VirtualAddress} + table.back().VirtualSize, stub.SectionAlignment())));
    Store32(image, header + optional::kCheckSum, PeChecksum(image));
}

}  // namespace

std::vector<std::uint8_t> WithResources(std::span<const std::uint8_t> stub, std::span<const PeResource> resources) {
    const PeReader reader(stub);
    CheckStub(reader);
    Layout layout = PlanLayout(reader);
    CheckNothingPointsInto(reader, layout);
    const std::vector<Section>& sections = reader.Sections();
    const bool adding = layout.Resources == sections.size();
    // Every section's data lies after the headers (CheckStub): a new header must fit in their room.
    if (adding &&
        reader.Places().SectionTable + (sections.size() + 1) * section::kHeaderSize > reader.SizeOfHeaders()) {
        throw UnsuitableStub("no room in its headers for a resource section");
    }

    const MergedResources merged = Merge(reader, resources);
    std::vector<ResourceView> views;
    for (const auto& [key, bytes] : merged) {
        views.push_back({&key.Type, &key.Name, key.Language, bytes});
    }
    Section& written = layout.NewResources;
    const std::vector<std::uint8_t> tree = BuildResourceSection(views, written.VirtualAddress);
    const std::uint64_t rawSize = AlignUp<std::uint64_t>(tree.size(), reader.FileAlignment());
    if (written.RawOffset + rawSize > UINT32_MAX ||
        AlignUp<std::uint64_t>(written.VirtualAddress + std::uint64_t{tree.size()}, reader.SectionAlignment()) >
            UINT32_MAX) {
        throw std::invalid_argument("resources larger than an image can hold");
    }
    written.Name = kResourceSectionName;
    written.VirtualSize = static_cast<std::uint32_t>(tree.size());
    written.RawSize = static_cast<std::uint32_t>(rawSize);
    written.Characteristics = adding ? kNewSectionCharacteristics : sections[layout.Resources].Characteristics;

    // The bytes: what stays, the moved sections' data, the new resources.
    std::vector<std::uint8_t> image(stub.begin(), stub.begin() + layout.KeptBytes);
    for (std::size_t i = 0; i < layout.Moved.size(); ++i) {
        if (layout.Moved[i].RawSize != 0) {
            const std::span<const std::uint8_t> data = reader.SectionBytes(sections[layout.Resources + 1 + i]);
            image.resize(layout.Moved[i].RawOffset, 0);
            image.insert(image.end(), data.begin(), data.end());
        }
    }
    image.resize(written.RawOffset, 0);
    image.insert(image.end(), tree.begin(), tree.end());
    image.resize(written.RawOffset + written.RawSize, 0);

    StoreSectionTable(image, reader, layout);
    StoreDataDirectories(image, reader, layout);
    StoreSizesAndChecksum(image, reader, layout);
    return image;
}

}  // namespace patcher::pe

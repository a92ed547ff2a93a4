#include "tools/standin/PeImage.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "profile/ProductProfile.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"

namespace patcher::standin {
namespace {

namespace flags = pe::section;
namespace field = pe::optional;
using pe::Store16;
using pe::Store32;

constexpr std::uint32_t kImageBase = 0x400000;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kDelphiTimestamp = 0x2A425E19;  // the fixed stamp that Delphi's linker writes
constexpr std::size_t kPeHeader = 0x100;

constexpr std::uint32_t kCode = flags::kCntCode | flags::kMemExecute | flags::kMemRead;
constexpr std::uint32_t kData = flags::kCntInitializedData | flags::kMemRead | flags::kMemWrite;
constexpr std::uint32_t kBss = flags::kCntUninitializedData | flags::kMemRead | flags::kMemWrite;
constexpr std::uint32_t kReadOnly = flags::kCntInitializedData | flags::kMemShared | flags::kMemRead;
constexpr std::uint32_t kRelocations = kReadOnly;

void StoreText(Bytes& out, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// Shares of the file that each section takes in a first build, and of the change between builds.
struct SectionRecipe {
    const char* Name;
    Style Content;
    bool Evolves;
    std::uint32_t Characteristics;
    std::uint32_t ShareOfFile;    // per mille; 0 means one alignment block (or none for BSS)
    std::uint32_t ShareOfChange;  // per cent
};
constexpr SectionRecipe kRecipes[] = {
    {"CODE", Style::Code, true, kCode, 560, 60},
    {"DATA", Style::Data, true, kData, 60, 10},
    {"BSS", Style::Data, false, kBss, 0, 0},
    {".idata", Style::Imports, true, kData, 12, 0},
    {".tls", Style::Data, false, kData, 0, 0},
    {".rdata", Style::Data, false, kReadOnly, 0, 0},
    {".reloc", Style::Relocations, true, kRelocations, 50, 8},
    {".rsrc", Style::Resources, true, kReadOnly, 0, 22},  // takes the rest
};
constexpr std::size_t kRsrc = 7;

bool IsBss(const Section& section) {
    return section.Characteristics == kBss;
}

}  // namespace

ExeBuild FirstBuild(std::uint32_t fileSize, Random& random, const ContentWriter& writer) {
    if (fileSize % kFileAlignment != 0 || fileSize < kHeaderSize + 64 * kFileAlignment) {
        throw std::invalid_argument("a stand-in program needs a size that is a multiple of 512 and over 33 KB");
    }
    const std::uint32_t blocks = (fileSize - kHeaderSize) / kFileAlignment;
    ExeBuild build;
    std::uint32_t used = 0;
    for (const SectionRecipe& recipe : kRecipes) {
        Section section{recipe.Name, recipe.Content, recipe.Evolves, recipe.Characteristics, 0, {}};
        if (recipe.Characteristics == kBss) {
            section.RawSize = 0;
        } else if (&recipe == &kRecipes[kRsrc]) {
            section.RawSize = (blocks - used) * kFileAlignment;
        } else if (recipe.ShareOfFile == 0) {
            section.RawSize = kFileAlignment;
        } else {
            section.RawSize = std::max<std::uint32_t>(1, blocks * recipe.ShareOfFile / 1000) * kFileAlignment;
        }
        used += section.RawSize / kFileAlignment;
        const std::uint32_t payload =
            recipe.Evolves ? section.RawSize - random.Below(std::min<std::uint32_t>(section.RawSize / 2, 512))
                           : std::min<std::uint32_t>(section.RawSize, 24);
        writer.Append(section.Content, random, section.Payload, payload);
        build.Sections.push_back(std::move(section));
    }
    return build;
}

std::vector<std::uint32_t> ResizeSections(const ExeBuild& build, std::uint32_t fileSize) {
    std::uint32_t current = kHeaderSize;
    std::vector<std::uint32_t> sizes;
    for (const Section& section : build.Sections) {
        current += section.RawSize;
        sizes.push_back(section.RawSize);
    }
    if (fileSize % kFileAlignment != 0) {
        throw std::invalid_argument("a stand-in program needs a size that is a multiple of 512");
    }
    const auto change = (static_cast<std::int64_t>(fileSize) - current) / kFileAlignment;
    std::int64_t left = change;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::int64_t blocks = i == 0 ? 0 : change * kRecipes[i].ShareOfChange / 100;
        sizes[i] = static_cast<std::uint32_t>(sizes[i] + blocks * kFileAlignment);
        left -= blocks;
    }
    sizes[0] = static_cast<std::uint32_t>(sizes[0] + left * kFileAlignment);  // code takes the remainder
    return sizes;
}

Bytes AssembleImage(const ExeBuild& build) {
    Bytes image(kHeaderSize, 0);
    // DOS header and the stub that tells DOS users the program needs Windows.
    StoreText(image, 0, "MZ");
    const std::uint16_t dosHeader[] = {0x50, 2, 0, 4, 0x0F, 0xFFFF, 0, 0xB8, 0, 0, 0, 0x40, 0x1A};
    for (std::size_t i = 0; i < std::size(dosHeader); ++i) {
        Store16(image, 2 + 2 * i, dosHeader[i]);
    }
    Store32(image, pe::dos::kLfanew, kPeHeader);
    const std::uint8_t stub[] = {0xBA, 0x10, 0x00, 0x0E, 0x1F, 0xB4, 0x09, 0xCD,
                                 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21, 0x90, 0x90};
    std::copy(std::begin(stub), std::end(stub), image.begin() + pe::dos::kHeaderSize);
    StoreText(image, 0x50, "This program must be run under Win32\r\n$");

    // Section placement in the file and in memory.
    std::uint32_t fileOffset = kHeaderSize;
    std::uint32_t rva = kSectionAlignment;
    std::uint32_t codeSize = 0, dataSize = 0, bssSize = 0;
    struct Placed {
        std::uint32_t Rva, VirtualSize, Offset;
    };
    std::vector<Placed> placed;
    for (const Section& section : build.Sections) {
        const std::uint32_t virtualSize =
            IsBss(section) ? 0x4000 : std::max<std::uint32_t>(static_cast<std::uint32_t>(section.Payload.size()), 1);
        placed.push_back({rva, virtualSize, section.RawSize == 0 ? 0 : fileOffset});
        (section.Content == Style::Code ? codeSize
         : IsBss(section)               ? bssSize
                                        : dataSize) += IsBss(section) ? virtualSize : section.RawSize;
        fileOffset += section.RawSize;
        rva += pe::AlignUp(virtualSize, kSectionAlignment);
    }

    StoreText(image, kPeHeader, std::string_view("PE\0\0", pe::kPeSignatureSize));
    const std::size_t coff = kPeHeader + pe::kPeSignatureSize;
    Store16(image, coff + pe::coff::kMachine, pe::coff::kMachineI386);
    Store16(image, coff + pe::coff::kNumberOfSections, static_cast<std::uint32_t>(build.Sections.size()));
    Store32(image, coff + pe::coff::kTimeDateStamp, kDelphiTimestamp);
    Store16(image, coff + pe::coff::kSizeOfOptionalHeader, static_cast<std::uint32_t>(field::FullSize(false)));
    Store16(image, coff + pe::coff::kCharacteristics,
            0x818E);  // as Delphi writes it: an executable for 32 bits, symbols stripped, the old byte-order flags
    const std::size_t optional = coff + pe::coff::kSize;
    Store16(image, optional + field::kMagic, field::kMagicPe32);
    image[optional + field::kMajorLinkerVersion] = 2;
    image[optional + field::kMinorLinkerVersion] = 25;
    Store32(image, optional + field::kSizeOfCode, codeSize);
    Store32(image, optional + field::kSizeOfInitializedData, dataSize);
    Store32(image, optional + field::kSizeOfUninitializedData, bssSize);
    // The entry point near the end of the code.
    Store32(image, optional + field::kAddressOfEntryPoint, placed[0].Rva + placed[0].VirtualSize * 15 / 16);
    Store32(image, optional + field::kBaseOfCode, placed[0].Rva);
    Store32(image, optional + field::kBaseOfData, placed[1].Rva);
    Store32(image, optional + field::kImageBasePe32, kImageBase);
    Store32(image, optional + field::kSectionAlignment, kSectionAlignment);
    Store32(image, optional + field::kFileAlignment, kFileAlignment);
    Store16(image, optional + field::kMajorOperatingSystemVersion, 4);
    Store16(image, optional + field::kMajorSubsystemVersion, 4);
    Store32(image, optional + field::kSizeOfImage, rva);
    Store32(image, optional + field::kSizeOfHeaders, kHeaderSize);
    Store16(image, optional + field::kSubsystem, field::kSubsystemWindowsGui);
    // Stack reserve and commit, heap reserve and commit.
    const std::uint32_t memory[] = {0x100000, 0x4000, 0x100000, 0x1000};
    for (std::size_t i = 0; i < std::size(memory); ++i) {
        Store32(image, optional + field::kSizeOfStackReserve + 4 * i, memory[i]);
    }
    Store32(image, optional + field::kNumberOfRvaAndSizesPe32, field::kMaxDataDirectories);
    const std::size_t directories = optional + field::kNumberOfRvaAndSizesPe32 + 4;
    // The sections that hold the tables of data directories.
    const std::pair<std::string_view, std::size_t> tables[] = {{".idata", pe::kImportTable},
                                                               {".rsrc", pe::kResourceTable},
                                                               {".reloc", pe::kBaseRelocationTable},
                                                               {".tls", pe::kTlsTable}};
    for (std::size_t i = 0; i < build.Sections.size(); ++i) {
        for (const auto& [name, entry] : tables) {
            if (build.Sections[i].Name == name) {
                const std::size_t at = directories + field::kDataDirectoryEntrySize * entry;
                Store32(image, at, placed[i].Rva);
                Store32(image, at + 4, entry == pe::kTlsTable ? 0x18 : placed[i].VirtualSize);
            }
        }
    }
    std::size_t table = optional + field::FullSize(false);
    for (std::size_t i = 0; i < build.Sections.size(); ++i, table += pe::section::kHeaderSize) {
        const Section& built = build.Sections[i];
        StoreText(image, table + pe::section::kName, built.Name);
        Store32(image, table + pe::section::kVirtualSize, placed[i].VirtualSize);
        Store32(image, table + pe::section::kVirtualAddress, placed[i].Rva);
        Store32(image, table + pe::section::kSizeOfRawData, built.RawSize);
        Store32(image, table + pe::section::kPointerToRawData, placed[i].Offset);
        Store32(image, table + pe::section::kCharacteristics, built.Characteristics);
    }

    for (const Section& section : build.Sections) {
        if (section.Payload.size() > section.RawSize && !IsBss(section)) {
            throw std::logic_error("section " + section.Name + " outgrew its room");
        }
        const std::size_t start = image.size();
        image.insert(image.end(), section.Payload.begin(),
                     section.Payload.begin() + std::min<std::ptrdiff_t>(section.Payload.size(), section.RawSize));
        image.resize(start + section.RawSize, 0);
    }
    return image;
}

Bytes MakeHelpFile(int fileIndex, std::uint32_t fileSize, Random& random, const ContentWriter& writer) {
    constexpr std::uint32_t kChunk = 4096;
    constexpr std::uint32_t kDirectoryStart = 0x60 + 0x18;
    const std::uint32_t chunks = std::max<std::uint32_t>(2, fileSize / 40000);
    const std::uint32_t contentStart = kDirectoryStart + 0x54 + chunks * kChunk;
    if (fileSize <= contentStart + 512) {
        throw std::invalid_argument("a stand-in help file needs more room");
    }
    Bytes file(kDirectoryStart, 0);
    StoreText(file, 0, "ITSF");
    Store32(file, 4, 3);
    Store32(file, 8, 0x60);
    Store32(file, 12, 1);
    Store32(file, 16, 0x1F2E3D4C + static_cast<std::uint32_t>(fileIndex));
    Store32(file, 20, 0x0407);  // the German help files
    const std::uint8_t guids[32] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00,
                                    0xA0, 0xC9, 0x22, 0xE6, 0xEC, 0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B,
                                    0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    std::copy(std::begin(guids), std::end(guids), file.begin() + 24);
    Store32(file, 56, 0x60);
    Store32(file, 64, 0x18);
    Store32(file, 72, kDirectoryStart);
    Store32(file, 80, 0x54 + chunks * kChunk);
    Store32(file, 88, contentStart);
    Store32(file, 0x60, 0x01FE);
    Store32(file, 0x68, fileSize);

    // Directory header, then listing chunks of entries: name, content section, offset and length.
    Bytes directory(0x54, 0);
    StoreText(directory, 0, "ITSP");
    Store32(directory, 4, 1);
    Store32(directory, 8, 0x54);
    Store32(directory, 12, 0x0A);
    Store32(directory, 16, kChunk);
    Store32(directory, 20, 2);
    Store32(directory, 44, chunks);
    Store32(directory, 48, 0x0409);
    file.insert(file.end(), directory.begin(), directory.end());
    std::uint32_t contentOffset = 0;
    for (std::uint32_t c = 0; c < chunks; ++c) {
        Bytes chunk;
        const std::uint8_t header[] = {'P', 'M', 'G', 'L'};
        chunk.insert(chunk.end(), std::begin(header), std::end(header));
        chunk.resize(20, 0);
        while (chunk.size() < kChunk * 3 / 4) {
            Bytes name;
            name.push_back('/');
            writer.Append(Style::Text, random, name, random.Between(6, 28));
            for (auto& byte : name) {
                if (byte < 0x21 || byte > 0x7E) {
                    byte = '_';
                }
            }
            const char* suffix = random.Percent(70) ? ".htm" : ".gif";
            name.insert(name.end(), suffix, suffix + 4);
            chunk.push_back(static_cast<std::uint8_t>(name.size()));
            chunk.insert(chunk.end(), name.begin(), name.end());
            chunk.push_back(1);  // packed content section
            const std::uint32_t length = random.Between(200, 9000);
            for (const std::uint32_t number : {contentOffset, length}) {  // scaled numbers, high bits first
                std::uint32_t v = number;
                Bytes digits{static_cast<std::uint8_t>(v & 0x7F)};
                while ((v >>= 7) != 0) {
                    digits.insert(digits.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
                }
                chunk.insert(chunk.end(), digits.begin(), digits.end());
            }
            contentOffset += length;
        }
        chunk.resize(kChunk, 0);  // free space, then the quick reference at the end stays zero
        Store16(chunk, kChunk - 2, random.Between(8, 40));
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    writer.Append(Style::Packed, random, file, fileSize - static_cast<std::uint32_t>(file.size()));
    return file;
}

}  // namespace patcher::standin

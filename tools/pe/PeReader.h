#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/pe/ResourceId.h"

namespace patcher::pe {

// A reader of a Windows program file (PE32 or PE32+) held in memory: its headers, sections, imported DLLs
// and resources. Every offset and size read from the file is checked against the file; a file that breaks
// the format throws BrokenImage, whatever it holds. The image must outlive the reader.
class PeReader {
  public:
    explicit PeReader(std::span<const std::uint8_t> image);

    std::span<const std::uint8_t> Image() const noexcept { return image_; }
    bool Is64Bit() const noexcept { return is64Bit_; }
    // The COFF header's time stamp.
    std::uint32_t TimeStamp() const noexcept { return timeStamp_; }
    // The optional header's subsystem (2: a Windows GUI program) and its DllCharacteristics flags.
    std::uint16_t Subsystem() const noexcept { return subsystem_; }
    std::uint16_t DllCharacteristics() const noexcept { return dllCharacteristics_; }
    std::uint32_t SectionAlignment() const noexcept { return sectionAlignment_; }
    std::uint32_t FileAlignment() const noexcept { return fileAlignment_; }
    std::uint32_t SizeOfImage() const noexcept { return sizeOfImage_; }
    std::uint32_t SizeOfHeaders() const noexcept { return sizeOfHeaders_; }
    std::uint32_t SizeOfInitializedData() const noexcept { return sizeOfInitializedData_; }
    // The checksum that the header holds.
    std::uint32_t CheckSum() const noexcept { return checkSum_; }

    // Where the headers lie in the file, for a writer that changes their fields.
    struct HeaderPlaces {
        std::size_t Coff = 0;
        std::size_t Optional = 0;
        std::size_t DataDirectories = 0;
        std::uint32_t DataDirectoryCount = 0;
        std::size_t SectionTable = 0;
    };
    const HeaderPlaces& Places() const noexcept { return places_; }

    struct Section {
        std::string Name;  // up to 8 bytes, as the table holds it
        std::uint32_t VirtualAddress = 0;
        std::uint32_t VirtualSize = 0;
        std::uint32_t RawOffset = 0;
        std::uint32_t RawSize = 0;
        std::uint32_t Characteristics = 0;
    };
    // The section table, in its order.
    const std::vector<Section>& Sections() const noexcept { return sections_; }
    // A section's bytes in the file: all of its room there.
    std::span<const std::uint8_t> SectionBytes(const Section& section) const;

    struct DataDirectory {
        std::uint32_t Rva = 0;  // the certificate table's is a file offset
        std::uint32_t Size = 0;
    };
    // A data directory entry by its index (PeFormat.h); empty where the header has fewer entries.
    DataDirectory Directory(std::size_t index) const noexcept;

    // Whether the file has base relocations: without them the loader cannot move the image, whatever
    // DllCharacteristics asks for.
    bool HasRelocations() const noexcept;

    // The blocks of the base relocation table: each the relative address of a page and its 16-bit entries
    // (the kind of fix-up in the top four bits, the place in the page in the rest).
    struct RelocationBlock {
        std::uint32_t PageRva = 0;
        std::vector<std::uint16_t> Entries;
        friend bool operator==(const RelocationBlock&, const RelocationBlock&) = default;
    };
    std::vector<RelocationBlock> RelocationBlocks() const;

    // The DLL names of the import table and then of the delay-load table, as the file spells them.
    std::vector<std::string> ImportedDlls() const;

    // The time stamp of the resource directory's root (0 when there is no resource directory).
    std::uint32_t ResourceTimeStamp() const;
    // The total size of the data of every resource of a numbered type (10 for RCDATA, 2 for BITMAP), and
    // how many there are.
    struct ResourceTotal {
        std::uint64_t Bytes = 0;
        int Count = 0;
    };
    ResourceTotal ResourcesOfType(std::uint32_t type) const;

    struct Resource {
        ResourceId Type;
        ResourceId Name;
        std::uint32_t Language = 0;
        std::span<const std::uint8_t> Bytes;  // inside the image given to the reader
    };
    // Every resource of the file, in the order of the tree (types, names, languages). A tree that loops,
    // reaches one table twice or lays tables over each other throws BrokenImage, so that reading it takes
    // time in proportion to the file.
    std::vector<Resource> Resources() const;
    // The bytes of the first resource of that numbered type and name, of any language; empty when there is
    // none.
    std::span<const std::uint8_t> FirstResource(std::uint32_t type, const ResourceId& name) const;

  private:
    class ResourceWalk;

    std::uint16_t Read16(std::uint64_t offset) const;
    std::uint32_t Read32(std::uint64_t offset) const;
    std::uint64_t Read64(std::uint64_t offset) const;
    // The file offset of a relative virtual address, with at least `length` bytes of the file behind it.
    std::uint64_t OffsetOf(std::uint32_t rva, std::uint32_t length) const;
    std::string NameAt(std::uint32_t rva) const;

    std::span<const std::uint8_t> image_;
    bool is64Bit_ = false;
    std::uint32_t timeStamp_ = 0;
    std::uint16_t subsystem_ = 0;
    std::uint16_t dllCharacteristics_ = 0;
    std::uint32_t sectionAlignment_ = 0;
    std::uint32_t fileAlignment_ = 0;
    std::uint32_t sizeOfImage_ = 0;
    std::uint32_t sizeOfHeaders_ = 0;
    std::uint32_t sizeOfInitializedData_ = 0;
    std::uint32_t checkSum_ = 0;
    std::uint64_t imageBase_ = 0;
    HeaderPlaces places_;
    std::vector<Section> sections_;
    std::vector<DataDirectory> directories_;
};

}  // namespace patcher::pe

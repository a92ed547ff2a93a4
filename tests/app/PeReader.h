#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace patcher::testing {

// A portable reader of the few facts of a Windows program file (PE32 or PE32+) that the exe's tests check.
// Every offset and size read from the file is checked against the file; a file that breaks the format
// throws std::invalid_argument.
class PeReader {
  public:
    explicit PeReader(std::span<const std::uint8_t> image);

    bool Is64Bit() const noexcept { return is64Bit_; }
    // The COFF header's time stamp.
    std::uint32_t TimeStamp() const noexcept { return timeStamp_; }
    // The optional header's subsystem (2: a Windows GUI program) and its DllCharacteristics flags.
    std::uint16_t Subsystem() const noexcept { return subsystem_; }
    std::uint16_t DllCharacteristics() const noexcept { return dllCharacteristics_; }
    // Whether the file has base relocations: without them the loader cannot move the image, whatever
    // DllCharacteristics asks for.
    bool HasRelocations() const noexcept;

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

    // A type or name in the resource tree: a number, or a name (UTF-16) where Name is not empty.
    struct ResourceId {
        std::uint32_t Number = 0;
        std::u16string Name;

        // "#10" for a number, the name itself for a name (letters beyond ASCII as \uXXXX).
        std::string Text() const;
        friend bool operator==(const ResourceId&, const ResourceId&) = default;
    };
    struct Resource {
        ResourceId Type;
        ResourceId Name;
        std::uint32_t Language = 0;
        std::span<const std::uint8_t> Bytes;  // inside the image given to the reader
    };
    // Every resource of the file, in the order of the tree (types, names, languages).
    std::vector<Resource> Resources() const;

  private:
    struct Section {
        std::uint32_t VirtualAddress;
        std::uint32_t VirtualSize;
        std::uint32_t RawOffset;
        std::uint32_t RawSize;
    };
    struct Directory {
        std::uint32_t Rva = 0;
        std::uint32_t Size = 0;
    };

    std::uint16_t Read16(std::uint64_t offset) const;
    std::uint32_t Read32(std::uint64_t offset) const;
    std::uint64_t Read64(std::uint64_t offset) const;
    // The file offset of a relative virtual address, with at least `length` bytes of the file behind it.
    std::uint64_t OffsetOf(std::uint32_t rva, std::uint32_t length) const;
    std::string NameAt(std::uint32_t rva) const;
    // The file offset of a place in the resource tree, given from the tree's root.
    std::uint64_t TreeOffset(std::uint32_t fromRoot, std::uint32_t length) const;
    ResourceId ResourceIdAt(std::uint32_t field) const;
    void AddResources(std::uint32_t directoryOffset, int depth, Resource& path, std::vector<Resource>& out) const;

    std::span<const std::uint8_t> image_;
    bool is64Bit_ = false;
    std::uint32_t timeStamp_ = 0;
    std::uint16_t subsystem_ = 0;
    std::uint16_t dllCharacteristics_ = 0;
    std::uint64_t imageBase_ = 0;
    std::vector<Section> sections_;
    std::vector<Directory> directories_;
};

}  // namespace patcher::testing

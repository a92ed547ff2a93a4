#include "tools/pe/PeReader.h"

#include <iterator>
#include <map>
#include <utility>

#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"

namespace patcher::pe {
namespace {

constexpr std::uint32_t kMaxNameLength = 260;
constexpr int kMaxDescriptors = 4096;  // far more than any program has; a loop in a broken file ends here

[[noreturn]] void Broken(const char* what) {
    throw BrokenImage(what);
}

}  // namespace

PeReader::PeReader(std::span<const std::uint8_t> image) : image_(image) {
    if (image_.size() < dos::kHeaderSize || image_[0] != dos::kMagic[0] || image_[1] != dos::kMagic[1]) {
        Broken("no MZ header");
    }
    const std::uint32_t peOffset = Read32(dos::kLfanew);
    if (Read32(peOffset) != kPeSignature) {
        Broken("no PE signature");
    }
    places_.Coff = std::size_t{peOffset} + kPeSignatureSize;  // below the file's size, so it fits
    const std::uint64_t coffAt = places_.Coff;
    const std::uint16_t sectionCount = Read16(coffAt + coff::kNumberOfSections);
    timeStamp_ = Read32(coffAt + coff::kTimeDateStamp);
    const std::uint16_t optionalSize = Read16(coffAt + coff::kSizeOfOptionalHeader);
    places_.Optional = places_.Coff + coff::kSize;
    const std::uint64_t at = places_.Optional;

    const std::uint16_t magic = Read16(at + optional::kMagic);
    if (magic != optional::kMagicPe32 && magic != optional::kMagicPe32Plus) {
        Broken("unknown optional header");
    }
    is64Bit_ = magic == optional::kMagicPe32Plus;
    sizeOfInitializedData_ = Read32(at + optional::kSizeOfInitializedData);
    sectionAlignment_ = Read32(at + optional::kSectionAlignment);
    fileAlignment_ = Read32(at + optional::kFileAlignment);
    sizeOfImage_ = Read32(at + optional::kSizeOfImage);
    sizeOfHeaders_ = Read32(at + optional::kSizeOfHeaders);
    checkSum_ = Read32(at + optional::kCheckSum);
    subsystem_ = Read16(at + optional::kSubsystem);
    dllCharacteristics_ = Read16(at + optional::kDllCharacteristics);
    const std::size_t imageBaseAt = optional::ImageBase(is64Bit_);
    imageBase_ = is64Bit_ ? Read64(at + imageBaseAt) : Read32(at + imageBaseAt);

    const std::uint64_t countAt = at + optional::NumberOfRvaAndSizes(is64Bit_);
    places_.DataDirectories = static_cast<std::size_t>(countAt + 4);
    places_.DataDirectoryCount = Read32(countAt);
    if (places_.DataDirectoryCount > optional::kMaxDataDirectories ||
        places_.DataDirectories + places_.DataDirectoryCount * optional::kDataDirectoryEntrySize > at + optionalSize) {
        Broken("data directories outside the optional header");
    }
    for (std::uint32_t i = 0; i < places_.DataDirectoryCount; ++i) {
        const std::uint64_t entry = places_.DataDirectories + i * optional::kDataDirectoryEntrySize;
        directories_.push_back({Read32(entry), Read32(entry + 4)});
    }
    places_.SectionTable = places_.Optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t header = places_.SectionTable + i * std::uint64_t{section::kHeaderSize};
        Section read;
        read.VirtualSize = Read32(header + section::kVirtualSize);
        read.VirtualAddress = Read32(header + section::kVirtualAddress);
        read.RawSize = Read32(header + section::kSizeOfRawData);
        read.RawOffset = Read32(header + section::kPointerToRawData);
        read.Characteristics = Read32(header + section::kCharacteristics);
        const auto name = static_cast<std::size_t>(header + section::kName);  // read above, so inside the file
        for (std::size_t c = 0; c < section::kNameSize && image_[name + c] != 0; ++c) {
            read.Name.push_back(static_cast<char>(image_[name + c]));
        }
        sections_.push_back(std::move(read));
    }
}

std::uint16_t PeReader::Read16(std::uint64_t offset) const {
    if (offset + 2 > image_.size()) {
        Broken("read past the end");
    }
    const auto at = static_cast<std::size_t>(offset);  // below the file's size, so it fits
    return static_cast<std::uint16_t>(image_[at] | image_[at + 1] << 8);
}

std::uint32_t PeReader::Read32(std::uint64_t offset) const {
    return Read16(offset) | static_cast<std::uint32_t>(Read16(offset + 2)) << 16;
}

std::uint64_t PeReader::Read64(std::uint64_t offset) const {
    return Read32(offset) | static_cast<std::uint64_t>(Read32(offset + 4)) << 32;
}

std::span<const std::uint8_t> PeReader::SectionBytes(const Section& section) const {
    if (std::uint64_t{section.RawOffset} + section.RawSize > image_.size()) {
        Broken("section past the end of the file");
    }
    return image_.subspan(section.RawOffset, section.RawSize);
}

PeReader::DataDirectory PeReader::Directory(std::size_t index) const noexcept {
    return index < directories_.size() ? directories_[index] : DataDirectory{};
}

std::uint64_t PeReader::OffsetOf(std::uint32_t rva, std::uint32_t length) const {
    for (const Section& section : sections_) {
        const std::uint64_t start = section.VirtualAddress;
        // Empty data may lie right at a section's end (an empty resource written last).
        if (rva < start || rva - start > section.RawSize || (rva - start == section.RawSize && length != 0)) {
            continue;
        }
        const std::uint64_t offset = section.RawOffset + (rva - start);
        if (rva - start + std::uint64_t{length} > section.RawSize || offset + length > image_.size()) {
            Broken("data runs past its section");
        }
        return offset;
    }
    Broken("address outside every section");
}

std::string PeReader::NameAt(std::uint32_t rva) const {
    auto offset = static_cast<std::size_t>(OffsetOf(rva, 1));
    std::string name;
    while (offset < image_.size() && image_[offset] != 0) {
        if (name.size() == kMaxNameLength) {
            Broken("name without an end");
        }
        name.push_back(static_cast<char>(image_[offset++]));
    }
    if (offset == image_.size()) {
        Broken("name without an end");
    }
    return name;
}

std::vector<std::string> PeReader::ImportedDlls() const {
    std::vector<std::string> names;
    if (const DataDirectory table = Directory(kImportTable); table.Rva != 0) {
        std::uint32_t rva = table.Rva;
        for (int i = 0;; ++i, rva += imports::kDescriptorSize) {
            if (i == kMaxDescriptors) {
                Broken("import table without an end");
            }
            const std::uint64_t at = OffsetOf(rva, imports::kDescriptorSize);
            const std::uint32_t nameRva = Read32(at + imports::kNameRva);
            if (nameRva == 0 && Read32(at + imports::kFirstThunk) == 0) {
                break;
            }
            names.push_back(NameAt(nameRva));
        }
    }
    if (const DataDirectory table = Directory(kDelayImportDescriptor); table.Rva != 0) {
        std::uint32_t rva = table.Rva;
        for (int i = 0;; ++i, rva += delay_imports::kDescriptorSize) {
            if (i == kMaxDescriptors) {
                Broken("delay-load table without an end");
            }
            const std::uint64_t at = OffsetOf(rva, delay_imports::kDescriptorSize);
            const std::uint32_t attributes = Read32(at + delay_imports::kAttributes);
            std::uint64_t name = Read32(at + delay_imports::kNameRva);
            if (name == 0) {
                break;
            }
            if ((attributes & delay_imports::kRvaBased) == 0) {
                if (name < imageBase_ || name - imageBase_ > UINT32_MAX) {
                    Broken("delay-load name outside the image");
                }
                name -= imageBase_;
            }
            names.push_back(NameAt(static_cast<std::uint32_t>(name)));
        }
    }
    return names;
}

bool PeReader::HasRelocations() const noexcept {
    const DataDirectory table = Directory(kBaseRelocationTable);
    return table.Rva != 0 && table.Size != 0;
}

std::vector<PeReader::RelocationBlock> PeReader::RelocationBlocks() const {
    std::vector<RelocationBlock> blocks;
    const DataDirectory table = Directory(kBaseRelocationTable);
    if (table.Rva == 0 || table.Size == 0) {
        return blocks;
    }
    const std::uint64_t start = OffsetOf(table.Rva, table.Size);
    for (std::uint64_t at = start; at < start + table.Size;) {
        if (start + table.Size - at < relocations::kBlockHeaderSize) {
            Broken("relocation block cut short");
        }
        RelocationBlock block;
        block.PageRva = Read32(at + relocations::kPageRva);
        const std::uint32_t size = Read32(at + relocations::kBlockSize);
        if (size < relocations::kBlockHeaderSize || size % 2 != 0 || size > start + table.Size - at) {
            Broken("relocation block of an impossible size");
        }
        for (std::uint32_t entry = relocations::kBlockHeaderSize; entry < size; entry += 2) {
            block.Entries.push_back(Read16(at + entry));
        }
        blocks.push_back(std::move(block));
        at += size;
    }
    return blocks;
}

std::uint32_t PeReader::ResourceTimeStamp() const {
    const DataDirectory tree = Directory(kResourceTable);
    if (tree.Rva == 0) {
        return 0;
    }
    return Read32(OffsetOf(tree.Rva, resources::kTableSize) + resources::kTableTimeDateStamp);
}

PeReader::ResourceTotal PeReader::ResourcesOfType(std::uint32_t type) const {
    ResourceTotal total;
    for (const Resource& resource : Resources()) {
        if (!resource.Type.IsName() && resource.Type.Number == type) {
            total.Bytes += resource.Bytes.size();
            ++total.Count;
        }
    }
    return total;
}

std::span<const std::uint8_t> PeReader::FirstResource(std::uint32_t type, const ResourceId& name) const {
    for (const Resource& resource : Resources()) {
        if (resource.Type == ResourceId::Numbered(type) && resource.Name == name) {
            return resource.Bytes;
        }
    }
    return {};
}

// One reading of the resource tree. Every directory table and data entry claims its bytes; a second claim on
// any of them (a loop, a table reached twice, tables laid over each other) breaks the file. So each byte of
// the tree is read as a table or an entry once at most, and three levels deep at most.
class PeReader::ResourceWalk {
  public:
    ResourceWalk(const PeReader& reader, std::uint32_t rootRva) : reader_(reader), rootRva_(rootRva) {}

    void Table(std::uint32_t fromRoot, int level, Resource& path, std::vector<Resource>& out) {
        const std::uint64_t at = Claim(fromRoot, resources::kTableSize);
        const std::uint32_t count = reader_.Read16(at + resources::kTableNumberOfNameEntries) +
                                    static_cast<std::uint32_t>(reader_.Read16(at + resources::kTableNumberOfIdEntries));
        Claim(fromRoot + resources::kTableSize, count * static_cast<std::uint32_t>(resources::kEntrySize));
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = at + resources::kTableSize + i * std::uint64_t{resources::kEntrySize};
            const std::uint32_t id = reader_.Read32(entry + resources::kEntryNameOrId);
            const std::uint32_t target = reader_.Read32(entry + resources::kEntryOffset);
            const bool isTable = (target & resources::kOffsetIsDirectory) != 0;
            if (isTable != (level < resources::kLevels - 1)) {
                Broken("resource tree of the wrong depth");
            }
            if (level == 0) {
                path.Type = IdAt(id);
            } else if (level == 1) {
                path.Name = IdAt(id);
            } else if ((id & resources::kNameIsString) != 0) {
                Broken("resource language given by name");
            } else {
                path.Language = id;
            }
            if (isTable) {
                Table(target & ~resources::kOffsetIsDirectory, level + 1, path, out);
            } else {
                const std::uint64_t data = Claim(target, resources::kDataEntrySize);
                const std::uint32_t size = reader_.Read32(data + resources::kDataSize);
                const std::uint64_t offset = reader_.OffsetOf(reader_.Read32(data + resources::kDataRva), size);
                path.Bytes = reader_.image_.subspan(static_cast<std::size_t>(offset), size);
                out.push_back(path);
            }
        }
    }

  private:
    // The file offset of a place in the tree, with `length` bytes behind it inside the tree's section.
    std::uint64_t Offset(std::uint32_t fromRoot, std::uint32_t length) const {
        const std::uint64_t rva = std::uint64_t{rootRva_} + fromRoot;
        if (rva > UINT32_MAX) {
            Broken("resource tree past the end of the address space");
        }
        return reader_.OffsetOf(static_cast<std::uint32_t>(rva), length);
    }

    std::uint64_t Claim(std::uint32_t fromRoot, std::uint32_t length) {
        const std::uint64_t at = Offset(fromRoot, length);
        if (length == 0) {
            return at;
        }
        const std::uint64_t end = at + length;
        const auto next = claimed_.lower_bound(at);
        if ((next != claimed_.end() && next->first < end) ||
            (next != claimed_.begin() && std::prev(next)->second > at)) {
            Broken("resource tree that loops or overlaps itself");
        }
        claimed_.emplace(at, end);
        return at;
    }

    ResourceId IdAt(std::uint32_t field) const {
        if ((field & resources::kNameIsString) == 0) {
            return ResourceId::Numbered(field);
        }
        const std::uint32_t at = field & ~resources::kNameIsString;
        const std::uint32_t length = reader_.Read16(Offset(at, 2));
        if (length == 0) {
            Broken("empty resource name");
        }
        const std::uint64_t text = Offset(at, 2 + length * 2) + 2;
        ResourceId id;
        for (std::uint32_t i = 0; i < length; ++i) {
            id.Name.push_back(static_cast<char16_t>(reader_.Read16(text + i * 2ULL)));
        }
        return id;
    }

    const PeReader& reader_;
    std::uint32_t rootRva_;
    std::map<std::uint64_t, std::uint64_t> claimed_;  // file offset of a table or entry, and its end
};

std::vector<PeReader::Resource> PeReader::Resources() const {
    std::vector<Resource> resources;
    if (const DataDirectory tree = Directory(kResourceTable); tree.Rva != 0) {
        Resource path;
        ResourceWalk(*this, tree.Rva).Table(0, 0, path, resources);
    }
    return resources;
}

}  // namespace patcher::pe

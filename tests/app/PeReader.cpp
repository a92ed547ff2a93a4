#include "tests/app/PeReader.h"

#include <cstdio>
#include <stdexcept>

namespace patcher::testing {
namespace {

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kRelocationDirectory = 5;
constexpr std::size_t kDelayImportDirectory = 13;
constexpr std::uint32_t kImportDescriptorSize = 20;
constexpr std::uint32_t kDelayDescriptorSize = 32;
constexpr std::uint32_t kMaxNameLength = 260;
constexpr int kMaxDescriptors = 4096;  // far more than any program has; a loop in a broken file ends here

[[noreturn]] void Broken(const char* what) {
    throw std::invalid_argument(std::string("not a well-formed PE file: ") + what);
}

}  // namespace

PeReader::PeReader(std::span<const std::uint8_t> image) : image_(image) {
    if (image_.size() < 0x40 || image_[0] != 'M' || image_[1] != 'Z') {
        Broken("no MZ header");
    }
    const std::uint32_t peOffset = Read32(0x3C);
    if (Read32(peOffset) != kPeSignature) {
        Broken("no PE signature");
    }
    const std::uint64_t coff = std::uint64_t{peOffset} + 4;
    const std::uint16_t sectionCount = Read16(coff + 2);
    timeStamp_ = Read32(coff + 4);
    const std::uint16_t optionalSize = Read16(coff + 16);
    const std::uint64_t optional = coff + 20;

    const std::uint16_t magic = Read16(optional);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        Broken("unknown optional header");
    }
    is64Bit_ = magic == kMagicPe32Plus;
    // The same place in both forms: PE32+ widens the image base but drops the base of data before it.
    subsystem_ = Read16(optional + 68);
    dllCharacteristics_ = Read16(optional + 70);
    imageBase_ = is64Bit_ ? Read64(optional + 24) : Read32(optional + 28);
    const std::uint64_t countAt = optional + (is64Bit_ ? 108 : 92);
    const std::uint64_t directoriesAt = countAt + 4;
    const std::uint32_t directoryCount = Read32(countAt);
    if (directoryCount > 16 || directoriesAt + directoryCount * 8ULL > optional + optionalSize) {
        Broken("data directories outside the optional header");
    }
    for (std::uint32_t i = 0; i < directoryCount; ++i) {
        directories_.push_back({Read32(directoriesAt + i * 8ULL), Read32(directoriesAt + i * 8ULL + 4)});
    }
    const std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = table + i * 40ULL;
        sections_.push_back({Read32(at + 12), Read32(at + 8), Read32(at + 20), Read32(at + 16)});
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

std::uint64_t PeReader::OffsetOf(std::uint32_t rva, std::uint32_t length) const {
    for (const Section& section : sections_) {
        const std::uint64_t start = section.VirtualAddress;
        if (rva < start || rva - start >= section.RawSize) {
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
    if (directories_.size() > kImportDirectory && directories_[kImportDirectory].Rva != 0) {
        std::uint32_t rva = directories_[kImportDirectory].Rva;
        for (int i = 0;; ++i, rva += kImportDescriptorSize) {
            if (i == kMaxDescriptors) {
                Broken("import table without an end");
            }
            const std::uint64_t at = OffsetOf(rva, kImportDescriptorSize);
            const std::uint32_t nameRva = Read32(at + 12);
            if (nameRva == 0 && Read32(at + 16) == 0) {
                break;
            }
            names.push_back(NameAt(nameRva));
        }
    }
    if (directories_.size() > kDelayImportDirectory && directories_[kDelayImportDirectory].Rva != 0) {
        std::uint32_t rva = directories_[kDelayImportDirectory].Rva;
        for (int i = 0;; ++i, rva += kDelayDescriptorSize) {
            if (i == kMaxDescriptors) {
                Broken("delay-load table without an end");
            }
            const std::uint64_t at = OffsetOf(rva, kDelayDescriptorSize);
            const std::uint32_t attributes = Read32(at);
            std::uint64_t name = Read32(at + 4);
            if (name == 0) {
                break;
            }
            // Attribute bit 0 clear: the oldest linkers wrote addresses, not relative ones.
            if ((attributes & 1) == 0) {
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

std::uint32_t PeReader::ResourceTimeStamp() const {
    if (directories_.size() <= kResourceDirectory || directories_[kResourceDirectory].Rva == 0) {
        return 0;
    }
    return Read32(OffsetOf(directories_[kResourceDirectory].Rva, 16) + 4);
}

bool PeReader::HasRelocations() const noexcept {
    return directories_.size() > kRelocationDirectory && directories_[kRelocationDirectory].Rva != 0 &&
           directories_[kRelocationDirectory].Size != 0;
}

std::string PeReader::ResourceId::Text() const {
    if (Name.empty()) {
        return "#" + std::to_string(Number);
    }
    std::string text;
    for (const char16_t c : Name) {
        if (c >= 0x20 && c < 0x7F) {
            text.push_back(static_cast<char>(c));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            text += escaped;
        }
    }
    return text;
}

PeReader::ResourceTotal PeReader::ResourcesOfType(std::uint32_t type) const {
    ResourceTotal total;
    for (const Resource& resource : Resources()) {
        if (resource.Type.Name.empty() && resource.Type.Number == type) {
            total.Bytes += resource.Bytes.size();
            ++total.Count;
        }
    }
    return total;
}

// The resource tree has three levels: type, name, language; the language entries point at data entries
// (address, size, code page, reserved). Offsets inside the tree count from the tree's root; an entry's
// type or name with its top bit set is the offset of a counted UTF-16 string there.
std::vector<PeReader::Resource> PeReader::Resources() const {
    std::vector<Resource> resources;
    if (directories_.size() > kResourceDirectory && directories_[kResourceDirectory].Rva != 0) {
        Resource path;
        AddResources(0, 0, path, resources);
    }
    return resources;
}

std::uint64_t PeReader::TreeOffset(std::uint32_t fromRoot, std::uint32_t length) const {
    const std::uint64_t rva = std::uint64_t{directories_[kResourceDirectory].Rva} + fromRoot;
    if (rva > UINT32_MAX) {
        Broken("resource tree past the end of the address space");
    }
    return OffsetOf(static_cast<std::uint32_t>(rva), length);
}

PeReader::ResourceId PeReader::ResourceIdAt(std::uint32_t field) const {
    ResourceId id;
    if ((field & 0x80000000U) == 0) {
        id.Number = field;
        return id;
    }
    const std::uint32_t at = field & 0x7FFFFFFFU;
    const std::uint32_t length = Read16(TreeOffset(at, 2));
    if (length == 0) {
        Broken("empty resource name");
    }
    const std::uint64_t text = TreeOffset(at, 2 + length * 2) + 2;
    for (std::uint32_t i = 0; i < length; ++i) {
        id.Name.push_back(static_cast<char16_t>(Read16(text + i * 2ULL)));
    }
    return id;
}

void PeReader::AddResources(std::uint32_t directoryOffset,
                            int depth,
                            Resource& path,
                            std::vector<Resource>& out) const {
    const std::uint64_t at = TreeOffset(directoryOffset, 16);
    const std::uint32_t count = Read16(at + 12) + static_cast<std::uint32_t>(Read16(at + 14));
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = TreeOffset(directoryOffset + 16 + i * 8, 8);
        const std::uint32_t id = Read32(entry);
        const std::uint32_t target = Read32(entry + 4);
        const bool isDirectory = (target & 0x80000000U) != 0;
        if (isDirectory != (depth < 2)) {
            Broken("resource tree of the wrong depth");
        }
        if (depth == 0) {
            path.Type = ResourceIdAt(id);
        } else if (depth == 1) {
            path.Name = ResourceIdAt(id);
        } else if ((id & 0x80000000U) != 0) {
            Broken("resource language given by name");
        } else {
            path.Language = id;
        }
        if (isDirectory) {
            AddResources(target & 0x7FFFFFFFU, depth + 1, path, out);
        } else {
            const std::uint64_t data = TreeOffset(target, 16);
            const std::uint32_t size = Read32(data + 4);
            const std::uint64_t offset = OffsetOf(Read32(data), size);
            path.Bytes = image_.subspan(static_cast<std::size_t>(offset), size);
            out.push_back(path);
        }
    }
}

}  // namespace patcher::testing

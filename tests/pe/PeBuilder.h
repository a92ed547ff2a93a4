#pragma once

// Program images built here byte by byte, so that what a reader should find in them is known exactly.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"

namespace patcher::testing {

inline constexpr std::uint32_t kBuiltSectionRva = 0x1000;
inline constexpr std::uint32_t kBuiltSectionOffset = 0x200;
inline constexpr std::uint32_t kBuiltFileAlignment = 0x200;
inline constexpr std::uint32_t kBuiltSectionAlignment = 0x1000;
inline constexpr std::uint64_t kBuiltImageBase = 0x400000;
inline constexpr std::size_t kBuiltPeHeader = 0x40;

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
struct BuiltResource {
    ResourceKey Type;
    ResourceKey Name;
    std::uint32_t Size;
    std::uint16_t Language = 0x409;
};

// One image: the headers and one section ".data" holding an import table, a delay-load table, a resource
// tree, base relocations and the names, each where the data directories say.
struct PeBuilder {
    bool Is64Bit = false;
    std::uint32_t TimeStamp = 0;
    std::uint32_t ResourceTimeStamp = 0;
    std::vector<std::string> Imports;
    std::vector<std::string> DelayLoads;
    bool DelayLoadsByAddress = false;  // the oldest linkers' form
    std::vector<BuiltResource> Resources;
    std::uint16_t Subsystem = pe::optional::kSubsystemWindowsGui;
    std::uint16_t DllCharacteristics = 0;
    // Relocation blocks: each a page and its entries.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint16_t>>> Relocations;

    // Where the section's pieces landed, as relative virtual addresses (0: absent).
    std::uint32_t ImportRva = 0;
    std::uint32_t DelayRva = 0;
    std::uint32_t ResourceRva = 0;
    std::uint32_t RelocationRva = 0;

    std::vector<std::uint8_t> Build() {
        using pe::Store16;
        using pe::Store32;
        std::vector<std::uint8_t> section;
        std::vector<std::pair<std::size_t, std::string>> names;  // (field to patch, name)
        if (!Imports.empty()) {
            ImportRva = kBuiltSectionRva + static_cast<std::uint32_t>(section.size());
            for (const std::string& name : Imports) {
                const std::size_t descriptor = section.size();
                section.resize(descriptor + pe::imports::kDescriptorSize);
                Store32(section, descriptor + pe::imports::kFirstThunk, 0x1234);  // not read
                names.emplace_back(descriptor + pe::imports::kNameRva, name);
            }
            section.resize(section.size() + pe::imports::kDescriptorSize);  // the empty one that ends the table
        }
        if (!DelayLoads.empty()) {
            DelayRva = kBuiltSectionRva + static_cast<std::uint32_t>(section.size());
            for (const std::string& name : DelayLoads) {
                const std::size_t descriptor = section.size();
                section.resize(descriptor + pe::delay_imports::kDescriptorSize);
                Store32(section, descriptor + pe::delay_imports::kAttributes,
                        DelayLoadsByAddress ? 0 : pe::delay_imports::kRvaBased);
                names.emplace_back(descriptor + pe::delay_imports::kNameRva, name);
            }
            section.resize(section.size() + pe::delay_imports::kDescriptorSize);
        }
        std::uint32_t resourceSize = 0;
        if (!Resources.empty()) {
            ResourceRva = kBuiltSectionRva + static_cast<std::uint32_t>(section.size());
            BuildResources(section, section.size());
            resourceSize = kBuiltSectionRva + static_cast<std::uint32_t>(section.size()) - ResourceRva;
        }
        std::uint32_t relocationSize = 0;
        if (!Relocations.empty()) {
            RelocationRva = kBuiltSectionRva + static_cast<std::uint32_t>(section.size());
            for (const auto& [page, entries] : Relocations) {
                const std::size_t block = section.size();
                Store32(section, block + pe::relocations::kPageRva, page);
                Store32(section, block + pe::relocations::kBlockSize,
                        static_cast<std::uint32_t>(pe::relocations::kBlockHeaderSize + 2 * entries.size()));
                for (const std::uint16_t entry : entries) {
                    Store16(section, section.size(), entry);
                }
            }
            relocationSize = kBuiltSectionRva + static_cast<std::uint32_t>(section.size()) - RelocationRva;
        }
        for (const auto& [field, name] : names) {
            std::uint64_t rva = kBuiltSectionRva + section.size();
            if (DelayRva != 0 && field >= DelayRva - kBuiltSectionRva && DelayLoadsByAddress) {
                rva += kBuiltImageBase;
            }
            Store32(section, field, static_cast<std::uint32_t>(rva));
            section.insert(section.end(), name.begin(), name.end());
            section.push_back(0);
        }
        const auto virtualSize = static_cast<std::uint32_t>(section.size());
        section.resize(pe::AlignUp<std::size_t>(section.size(), kBuiltFileAlignment));

        std::vector<std::uint8_t> image(kBuiltSectionOffset);
        std::copy(std::begin(pe::dos::kMagic), std::end(pe::dos::kMagic), image.begin());
        Store32(image, pe::dos::kLfanew, kBuiltPeHeader);
        Store32(image, kBuiltPeHeader, pe::kPeSignature);
        const std::size_t coff = kBuiltPeHeader + pe::kPeSignatureSize;
        Store16(image, coff + pe::coff::kMachine, Is64Bit ? pe::coff::kMachineAmd64 : pe::coff::kMachineI386);
        Store16(image, coff + pe::coff::kNumberOfSections, 1);
        Store32(image, coff + pe::coff::kTimeDateStamp, TimeStamp);
        const auto optionalSize = static_cast<std::uint32_t>(pe::optional::FullSize(Is64Bit));
        Store16(image, coff + pe::coff::kSizeOfOptionalHeader, optionalSize);
        const std::size_t optional = coff + pe::coff::kSize;
        namespace opt = pe::optional;
        Store16(image, optional + opt::kMagic, Is64Bit ? opt::kMagicPe32Plus : opt::kMagicPe32);
        Store32(image, optional + opt::ImageBase(Is64Bit), static_cast<std::uint32_t>(kBuiltImageBase));
        Store32(image, optional + opt::kSectionAlignment, kBuiltSectionAlignment);
        Store32(image, optional + opt::kFileAlignment, kBuiltFileAlignment);
        Store32(image, optional + opt::kSizeOfImage,
                kBuiltSectionRva + pe::AlignUp(virtualSize, kBuiltSectionAlignment));
        Store32(image, optional + opt::kSizeOfHeaders, kBuiltSectionOffset);
        Store16(image, optional + opt::kSubsystem, Subsystem);
        Store16(image, optional + opt::kDllCharacteristics, DllCharacteristics);
        const std::size_t count = optional + opt::NumberOfRvaAndSizes(Is64Bit);
        Store32(image, count, opt::kMaxDataDirectories);
        const auto directory = [&](std::size_t index, std::uint32_t rva, std::uint32_t size) {
            Store32(image, count + 4 + index * opt::kDataDirectoryEntrySize, rva);
            Store32(image, count + 8 + index * opt::kDataDirectoryEntrySize, size);
        };
        directory(pe::kImportTable, ImportRva, ImportRva != 0 ? pe::imports::kDescriptorSize : 0);
        directory(pe::kResourceTable, ResourceRva, resourceSize);
        directory(pe::kBaseRelocationTable, RelocationRva, relocationSize);
        directory(pe::kDelayImportDescriptor, DelayRva, DelayRva != 0 ? pe::delay_imports::kDescriptorSize : 0);
        const std::size_t table = optional + optionalSize;
        const char sectionName[] = ".data";
        std::copy(std::begin(sectionName), std::end(sectionName) - 1,
                  image.begin() + static_cast<std::ptrdiff_t>(table));
        Store32(image, table + pe::section::kVirtualSize, virtualSize);
        Store32(image, table + pe::section::kVirtualAddress, kBuiltSectionRva);
        Store32(image, table + pe::section::kSizeOfRawData, static_cast<std::uint32_t>(section.size()));
        Store32(image, table + pe::section::kPointerToRawData, kBuiltSectionOffset);
        Store32(image, table + pe::section::kCharacteristics,
                pe::section::kCntInitializedData | pe::section::kMemRead | pe::section::kMemWrite);
        image.resize(kBuiltSectionOffset);
        image.insert(image.end(), section.begin(), section.end());
        return image;
    }

    // The file offset of the resource tree's root in the last image built.
    std::size_t ResourceRootOffset() const { return ResourceRva - kBuiltSectionRva + kBuiltSectionOffset; }

  private:
    // Root (types) -> one directory per type (names) -> one per name (languages) -> data entries -> data,
    // then the names that entries point at.
    void BuildResources(std::vector<std::uint8_t>& section, std::size_t root) {
        using pe::Store16;
        using pe::Store32;
        namespace tree = pe::resources;
        std::map<ResourceKey, std::map<ResourceKey, std::map<std::uint16_t, std::size_t>>> types;
        for (std::size_t i = 0; i < Resources.size(); ++i) {
            types[Resources[i].Type][Resources[i].Name][Resources[i].Language] = i;
        }
        const auto directory = [&](std::size_t entries, std::size_t named, std::uint32_t stamp) {
            const std::size_t at = section.size();
            section.resize(at + tree::kTableSize + entries * tree::kEntrySize);
            Store32(section, at + tree::kTableTimeDateStamp, stamp);
            Store16(section, at + tree::kTableNumberOfNameEntries, static_cast<std::uint32_t>(named));
            Store16(section, at + tree::kTableNumberOfIdEntries, static_cast<std::uint32_t>(entries - named));
            return at;
        };
        const auto namedKeys = [](const auto& level) {
            return static_cast<std::size_t>(
                std::count_if(level.begin(), level.end(), [](const auto& item) { return !item.first.Name.empty(); }));
        };
        std::vector<std::pair<std::size_t, std::u16string>> names;  // (field to patch, name)
        const auto entry = [&](std::size_t directoryAt, std::size_t index, const ResourceKey& key, std::size_t target,
                               bool isDirectory) {
            const std::size_t at = directoryAt + tree::kTableSize + index * tree::kEntrySize;
            if (key.Name.empty()) {
                Store32(section, at + tree::kEntryNameOrId, key.Number);
            } else {
                names.emplace_back(at + tree::kEntryNameOrId, key.Name);
            }
            Store32(section, at + tree::kEntryOffset,
                    (isDirectory ? tree::kOffsetIsDirectory : 0U) | static_cast<std::uint32_t>(target - root));
        };

        directory(types.size(), namedKeys(types), ResourceTimeStamp);  // the root, at root
        std::size_t typeIndex = 0;
        for (const auto& [type, byName] : types) {
            const std::size_t typeAt = directory(byName.size(), namedKeys(byName), 0);
            entry(root, typeIndex++, type, typeAt, true);
            std::size_t nameIndex = 0;
            for (const auto& [name, byLanguage] : byName) {
                const std::size_t nameAt = directory(byLanguage.size(), 0, 0);
                entry(typeAt, nameIndex++, name, nameAt, true);
                std::size_t languageIndex = 0;
                for (const auto& [language, index] : byLanguage) {
                    const std::size_t dataEntry = section.size();
                    section.resize(dataEntry + tree::kDataEntrySize);
                    entry(nameAt, languageIndex++, language, dataEntry, false);
                    const std::vector<std::uint8_t> bytes =
                        Noise(Resources[index].Size, static_cast<std::uint32_t>(index));
                    Store32(section, dataEntry + tree::kDataRva,
                            kBuiltSectionRva + static_cast<std::uint32_t>(section.size()));
                    Store32(section, dataEntry + tree::kDataSize, static_cast<std::uint32_t>(bytes.size()));
                    section.insert(section.end(), bytes.begin(), bytes.end());
                }
            }
        }
        for (const auto& [field, name] : names) {
            const std::size_t at = section.size();
            Store32(section, field, tree::kNameIsString | static_cast<std::uint32_t>(at - root));
            Store16(section, at, static_cast<std::uint32_t>(name.size()));
            for (const char16_t c : name) {
                Store16(section, section.size(), c);
            }
        }
    }
};

}  // namespace patcher::testing

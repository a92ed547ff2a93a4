#include "tools/patchkit/PatcherInspection.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::patchkit {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Data resources are looked up in capitals, as FindResource looks them up.
pe::ResourceId DataName(ByteStringView name) {
    std::u16string wide;
    for (const char c : name) {
        wide += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : static_cast<unsigned char>(c));
    }
    return pe::ResourceId::Named(std::move(wide));
}

// The program's resources, which a program that is no well-formed PE file has none of.
std::vector<pe::PeReader::Resource> ResourcesOf(const pe::PeReader& program) {
    try {
        return program.Resources();
    } catch (const pe::BrokenImage& broken) {
        throw NotAPatcher(broken.what());
    }
}

// The first data resource of that name, of any language; nullptr where there is none.
const pe::PeReader::Resource* FindData(const std::vector<pe::PeReader::Resource>& resources,
                                       const pe::ResourceId& name) {
    for (const pe::PeReader::Resource& resource : resources) {
        if (resource.Type == pe::ResourceId::Numbered(pe::resources::kRcData) && resource.Name == name) {
            return &resource;
        }
    }
    return nullptr;
}

PatchTables TablesIn(const std::vector<pe::PeReader::Resource>& resources) {
    const pe::PeReader::Resource* tables = FindData(resources, DataName(kPatchTablesResource));
    if (tables == nullptr) {
        throw NotAPatcher("it carries no patch tables (no data resource " + std::string(kPatchTablesResource) + ")");
    }
    try {
        return ReadPatchTables(tables->Bytes);
    } catch (const PatchTablesError& refusal) {
        throw NotAPatcher(refusal.what());
    }
}

pe::PeReader ProgramOf(Bytes image) {
    try {
        return pe::PeReader(image);
    } catch (const pe::BrokenImage& broken) {
        throw NotAPatcher(broken.what());
    }
}

// A selected file's slots unpacked one after the other, as the patcher's rewrite puts them together.
ContentCheck CheckContent(int fileIndex,
                          const std::vector<pe::PeReader::Resource>& resources,
                          DecoderState& decoder,
                          std::vector<pe::ResourceId>& used) {
    ContentCheck content{fileIndex, {}, true, 0, 0, false};
    std::uint32_t crc = kCrc32Start;
    for (const int slot : {1, 2}) {
        const ByteStringView name = ResourceName(fileIndex, slot);
        if (name.empty()) {
            continue;
        }
        SlotCheck check{ByteString(name), false, 0, 0, {}};
        const pe::ResourceId id = DataName(name);
        used.push_back(id);
        if (const pe::PeReader::Resource* resource = FindData(resources, id); resource != nullptr) {
            check.Present = true;
            check.PackedBytes = resource->Bytes.size();
            try {
                const Bytes unpacked = Unpack(decoder, resource->Bytes);
                check.UnpackedBytes = unpacked.size();
                crc = Crc32Update(crc, unpacked);
                content.Size += unpacked.size();
            } catch (const UnpackError& broken) {
                check.Failure = broken.what();
            } catch (const std::bad_alloc&) {
                check.Failure = "out of memory";
            }
        }
        content.Unpacked = content.Unpacked && check.Present && check.Failure.empty();
        content.Slots.push_back(std::move(check));
    }
    content.Crc32 = Crc32Finish(crc);
    return content;
}

SignatureCheck CheckSignature(const pe::PeReader& program) {
    SignatureCheck check;
    try {
        const std::optional<pe::AuthenticodeSignature> signature = pe::ReadAuthenticode(program);
        if (!signature) {
            return check;
        }
        check.Present = true;
        check.Signature = *signature;
        check.DigestMatches = pe::AuthenticodeDigest(program, signature->Algorithm) == signature->SignedDigest;
    } catch (const pe::BrokenSignature& broken) {
        check.Present = true;
        check.Failure = broken.what();
    }
    return check;
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

}  // namespace

std::vector<std::uint8_t> ReadPatcherFile(const std::filesystem::path& path) {
    try {
        return ReadRegularFile(path, kMaxPatcherBytes, "64 MiB that a patcher may have");
    } catch (const ReadError& failure) {
        throw std::runtime_error(Quoted(Utf8Of(path)) + " cannot be read (" + failure.what() + ")");
    }
}

PatchTables PatcherTables(Bytes image) {
    return TablesIn(ResourcesOf(ProgramOf(image)));
}

PatchTables ReadPatcherTables(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> image = ReadPatcherFile(path);
    try {
        return PatcherTables(image);
    } catch (const NotAPatcher& refusal) {
        throw std::runtime_error(Quoted(Utf8Of(path)) + " is no patcher: " + refusal.what());
    }
}

PatcherInspection InspectPatcher(Bytes image) {
    const pe::PeReader program = ProgramOf(image);
    const std::vector<pe::PeReader::Resource> resources = ResourcesOf(program);
    PatcherInspection inspection;
    inspection.FileBytes = image.size();
    inspection.Is64Bit = program.Is64Bit();
    inspection.Tables = TablesIn(resources);

    std::vector<pe::ResourceId> used = {DataName(kPatchTablesResource)};
    const auto decoder = std::make_unique<DecoderState>();
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        if (inspection.Tables.Selects(fileIndex)) {
            ContentCheck content = CheckContent(fileIndex, resources, *decoder, used);
            const ContentDigest& digest = inspection.Tables.File(fileIndex).NewContent;
            content.MatchesDigest = content.Unpacked && content.Size == static_cast<std::size_t>(digest.Size) &&
                                    content.Crc32 == digest.Crc32;
            inspection.Contents.push_back(std::move(content));
        }
    }
    for (const pe::PeReader::Resource& resource : resources) {
        if (resource.Type != pe::ResourceId::Numbered(pe::resources::kRcData)) {
            continue;
        }
        if (std::find(used.begin(), used.end(), resource.Name) == used.end()) {
            inspection.OtherData.push_back({resource.Name.Text(), resource.Bytes.size()});
        }
    }

    for (const pe::PeReader::Resource& resource : resources) {
        if (resource.Type == pe::ResourceId::Numbered(pe::resources::kVersion)) {
            inspection.HasVersionInfo = true;
            try {
                inspection.Version = pe::ParseVersionInfo(resource.Bytes);
            } catch (const std::invalid_argument& broken) {
                inspection.VersionFailure = broken.what();
            }
            break;
        }
    }
    inspection.Signature = CheckSignature(program);
    return inspection;
}

std::vector<std::string> PatcherInspection::Faults() const {
    std::vector<std::string> faults;
    for (const ContentCheck& content : Contents) {
        for (const SlotCheck& slot : content.Slots) {
            if (!slot.Present) {
                faults.push_back("its resource " + slot.Name + " is missing");
            } else if (!slot.Failure.empty()) {
                faults.push_back("its resource " + slot.Name + " does not unpack (" + slot.Failure + ")");
            }
        }
        const ContentDigest& digest = Tables.File(content.FileIndex).NewContent;
        if (content.Unpacked && !content.MatchesDigest) {
            faults.push_back("file " + std::to_string(content.FileIndex) + "'s resources unpack to " +
                             std::to_string(content.Size) + " bytes with CRC-32 " + Hex32(content.Crc32) +
                             ", not to the " + std::to_string(digest.Size) + " bytes with CRC-32 " +
                             Hex32(digest.Crc32) + " of its digest");
        }
    }
    if (!VersionFailure.empty()) {
        faults.push_back(VersionFailure);
    }
    if (!Signature.Failure.empty()) {
        faults.push_back(Signature.Failure);
    } else if (Signature.Present && !Signature.DigestMatches) {
        faults.push_back("the file's digest is not the one signed: it was changed after it was signed");
    }
    return faults;
}

}  // namespace patcher::patchkit

#include "tools/patchkit/BuildVerification.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/BytesRecognition.h"
#include "tools/patchkit/ResourceSlots.h"
#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::patchkit {
namespace {

// The headers of a program that Windows loads as it is: its image as large as its sections, its sections one
// after the other and the file ending with the last, no certificate (the signature comes afterwards), and the
// checksum that the header holds that of the file.
void CheckProgram(const pe::PeReader& patcher, std::span<const std::uint8_t> exe) {
    const std::vector<pe::PeReader::Section>& sections = patcher.Sections();
    if (sections.empty()) {
        throw std::invalid_argument("it has no sections");
    }
    const pe::PeReader::Section& last = sections.back();
    const auto aligned = [](std::uint64_t value, std::uint64_t alignment) {
        return (value + alignment - 1) / alignment * alignment;
    };
    if (patcher.SizeOfImage() !=
        aligned(std::uint64_t{last.VirtualAddress} + last.VirtualSize, patcher.SectionAlignment())) {
        throw std::invalid_argument("its SizeOfImage is not the end of its last section");
    }
    if (std::uint64_t{last.RawOffset} + last.RawSize != exe.size()) {
        throw std::invalid_argument("it does not end with its last section");
    }
    if (patcher.Directory(pe::kCertificateTable).Size != 0) {
        throw std::invalid_argument("it carries a certificate already");
    }
    if (patcher.CheckSum() != pe::PeChecksum(exe)) {
        throw std::invalid_argument("its header's checksum is not that of the file");
    }
    const pe::PeReader::DataDirectory resources = patcher.Directory(pe::kResourceTable);
    if (resources.Rva != last.VirtualAddress) {
        throw std::invalid_argument("its resources are not its last section");
    }
}

// Every resource of the program, byte for byte: those written, and the stub's own, which they replace where
// type, name and language agree.
void CheckResources(const pe::PeReader& patcher, const pe::PeReader& stub, const std::vector<pe::PeResource>& written) {
    using Key = std::tuple<std::string, std::string, std::uint32_t>;
    const auto key = [](const pe::ResourceId& type, const pe::ResourceId& name, std::uint32_t language) {
        return Key{type.Text(), name.Text(), language};
    };
    std::map<Key, std::vector<std::uint8_t>> expected;
    for (const pe::PeReader::Resource& own : stub.Resources()) {
        expected[key(own.Type, own.Name, own.Language)].assign(own.Bytes.begin(), own.Bytes.end());
    }
    for (const pe::PeResource& resource : written) {
        expected[key(resource.Type, resource.Name, resource.Language)] = resource.Bytes;
    }
    std::map<Key, std::vector<std::uint8_t>> found;
    for (const pe::PeReader::Resource& resource : patcher.Resources()) {
        found[key(resource.Type, resource.Name, resource.Language)].assign(resource.Bytes.begin(),
                                                                           resource.Bytes.end());
    }
    for (const auto& [id, bytes] : expected) {
        const auto there = found.find(id);
        if (there == found.end()) {
            throw std::invalid_argument("it lacks the resource " + std::get<0>(id) + "/" + std::get<1>(id));
        }
        if (there->second != bytes) {
            throw std::invalid_argument("its resource " + std::get<0>(id) + "/" + std::get<1>(id) +
                                        " is not the bytes written");
        }
    }
    if (found.size() != expected.size()) {
        throw std::invalid_argument("it carries resources that were never written");
    }
}

std::string RecognisedAs(const Recognition& recognition) {
    if (recognition.Version != 0) {
        return "recognised as version " + std::to_string(recognition.Version);
    }
    return recognition.Result == CheckResult::Unreadable ? "unreadable" : "not recognised";
}

}  // namespace

void Verify(const PatchDescription& description,
            const std::vector<LoadedFile>& files,
            const PatchTables& tables,
            BuildFigures& figures) {
    for (const LoadedFile& file : files) {
        const int fileIndex = file.Described->FileIndex;
        for (const LoadedBuild& build : file.Builds) {
            const int version = build.Described->Version;
            BytesFile bytes(build.Bytes);
            const Recognition found = IdentifyOpenFile(fileIndex, bytes, tables);
            const CheckResult expected =
                version == tables.NewestVersion(fileIndex) ? CheckResult::Current : CheckResult::OutOfDate;
            if (found.Version != version || found.Result != expected) {
                description.Refuse(build.Described->Line, Label(file, build) + PathOf(build) + " is " +
                                                              RecognisedAs(found) + " by the new tables");
            }
            const SignatureTable& samples = *tables.FindSignatureTable(fileIndex, version);
            for (std::size_t s = 0; s < samples.size(); ++s) {
                for (int value = 0; value < 256; ++value) {
                    if (value == samples[s].Expected) {
                        continue;
                    }
                    bytes.Change(samples[s].Offset, static_cast<std::uint8_t>(value));
                    const Recognition changed = IdentifyOpenFile(fileIndex, bytes, tables);
                    if (changed.Result != CheckResult::NotRecognised) {
                        char byte[8];
                        std::snprintf(byte, sizeof byte, "0x%02X", value);
                        description.Refuse(build.Described->Line, Label(file, build) + "with " + byte + " at offset " +
                                                                      std::to_string(samples[s].Offset) + " (sample " +
                                                                      std::to_string(s + 1) + ") it is still " +
                                                                      RecognisedAs(changed));
                    }
                    ++figures.ChangedSamplesRefused;
                }
                bytes.Restore();
            }
        }
    }
}

void CrossCheck(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const std::vector<standin::PickedTable>& picked,
                const PatchTables& derived,
                std::span<const std::uint8_t> exe,
                std::span<const std::uint8_t> stub,
                const std::vector<pe::PeResource>& written,
                const BuildOptions& options) {
    const auto fail = [&](const LoadedFile* file, const std::string& text) {
        description.Refuse(file != nullptr ? file->Newest().Described->Line : 0,
                           "the patcher made is not what was meant: " + text + "; nothing was written");
    };
    // The program as Windows will load it, read back by the reader alone.
    std::map<std::string, std::span<const std::uint8_t>> rcData;
    try {
        const pe::PeReader patcher(exe);
        CheckProgram(patcher, exe);
        CheckResources(patcher, pe::PeReader(stub), written);
        for (const pe::PeReader::Resource& resource : patcher.Resources()) {
            if (resource.Type == pe::ResourceId::Numbered(pe::resources::kRcData) && resource.Name.IsName()) {
                rcData[std::string(resource.Name.Name.begin(), resource.Name.Name.end())] = resource.Bytes;
            }
        }
    } catch (const std::invalid_argument& error) {
        fail(nullptr, error.what());
    }
    // The tables as the patcher will have them: read back from the resource written.
    const auto resource = rcData.find(std::string(kPatchTablesResource));
    if (resource == rcData.end()) {
        fail(nullptr, "it carries no tables");
    }
    PatchTables tables;
    try {
        tables = ReadPatchTables(resource->second);
    } catch (const PatchTablesError& refusal) {
        fail(nullptr, std::string("the patcher would refuse its tables: ") + refusal.what());
    }
    if (!(tables == derived)) {
        fail(nullptr, "its tables do not read back as the tables they were written from");
    }
    std::set<std::pair<int, int>> withTable;
    for (const standin::PickedTable& table : picked) {
        if (!withTable.insert({table.FileIndex, table.Version}).second) {
            fail(nullptr, "two signature tables for file " + std::to_string(table.FileIndex) + " version " +
                              std::to_string(table.Version));
        }
        const SignatureTable* held = tables.FindSignatureTable(table.FileIndex, table.Version);
        if (held == nullptr || *held != table.Entries) {
            fail(nullptr, "the samples picked for file " + std::to_string(table.FileIndex) + " version " +
                              std::to_string(table.Version) + " are not those of the tables");
        }
    }
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        const auto described = std::find_if(files.begin(), files.end(),
                                            [&](const LoadedFile& f) { return f.Described->FileIndex == fileIndex; });
        const LoadedFile* file = described == files.end() ? nullptr : &*described;
        for (const KnownVersion& version : tables.Versions(fileIndex)) {
            if (withTable.count({fileIndex, version.Number}) == 0) {
                fail(file, "file " + std::to_string(fileIndex) + " version " + std::to_string(version.Number) +
                               " has samples that were never picked");
            }
        }
        const ContentDigest* digest = tables.NewContentDigest(fileIndex);
        if (file == nullptr) {
            if (digest != nullptr || !tables.Versions(fileIndex).empty()) {
                fail(nullptr, "file " + std::to_string(fileIndex) + " is not described, yet has a digest or version");
            }
            continue;
        }
        const LoadedBuild& newest = file->Newest();
        if (tables.Versions(fileIndex).size() != file->Builds.size() ||
            tables.NewestVersion(fileIndex) != newest.Described->Version ||
            tables.VersionSize(fileIndex, newest.Described->Version) !=
                static_cast<std::int32_t>(newest.Bytes.size()) ||
            digest == nullptr || digest->Size != static_cast<std::int32_t>(newest.Bytes.size()) ||
            digest->Crc32 != Crc32(newest.Bytes)) {
            fail(file, "file " + std::to_string(fileIndex) +
                           "'s versions, newest version, size or digest are not "
                           "those of the release up to " +
                           PathOf(newest));
        }
    }

    // The packed data are the data resources written besides the tables, as read back; the stub's own (which
    // CheckResources found as they were) are no slots.
    std::map<std::string, std::span<const std::uint8_t>> packed;
    for (const pe::PeResource& made : written) {
        if (made.Type == pe::ResourceId::Numbered(pe::resources::kRcData) && made.Name.IsName()) {
            const std::string name(made.Name.Name.begin(), made.Name.Name.end());
            const auto found = rcData.find(name);
            if (name != kPatchTablesResource && found != rcData.end()) {
                packed.insert(*found);
            }
        }
    }
    std::set<std::string> used;
    DecoderState decoder;
    for (const int fileIndex : description.SelectedFiles) {
        const LoadedFile& file = FileOf(files, fileIndex);
        std::vector<std::uint8_t> content;
        for (const ByteStringView name : {SlotNames(options, fileIndex).first, SlotNames(options, fileIndex).second}) {
            if (name.empty()) {
                continue;
            }
            const auto found = packed.find(std::string(name));
            if (found == packed.end()) {
                fail(&file,
                     "no packed data for resource " + std::string(name) + " of file " + std::to_string(fileIndex));
            }
            used.insert(found->first);
            decoder.ReleaseBuffers();
            try {
                const std::span<const std::uint8_t> unpacked = Unpack(decoder, found->second);
                content.insert(content.end(), unpacked.begin(), unpacked.end());
            } catch (const UnpackError& error) {
                fail(&file, "resource " + std::string(name) + " does not unpack (" + error.what() + ")");
            }
        }
        const ContentDigest& digest = tables.File(fileIndex).NewContent;
        if (content != file.Newest().Bytes || static_cast<std::int32_t>(content.size()) != digest.Size ||
            Crc32(content) != digest.Crc32) {
            fail(&file, "the slots of file " + std::to_string(fileIndex) + " unpack to " +
                            std::to_string(content.size()) + " bytes that are not " + PathOf(file.Newest()));
        }
        BytesFile rewritten(content);
        const Recognition found = IdentifyOpenFile(fileIndex, rewritten, tables);
        if (found.Result != CheckResult::Current || found.Version != file.Newest().Described->Version) {
            fail(&file, "file " + std::to_string(fileIndex) + " as its slots rewrite it is " + RecognisedAs(found) +
                            ", not current");
        }
    }
    for (const auto& [name, bytes] : packed) {
        if (used.count(name) == 0) {
            fail(nullptr, "the packed data " + name + " belongs to no selected file");
        }
    }
}

}  // namespace patcher::patchkit

#include "tools/patchkit/BuildVerification.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"
#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "tools/patchkit/ResourceSlots.h"

namespace patcher::patchkit {
namespace {

// A build's bytes as an open file, with one byte changed on request.
class BytesFile final : public ReadableFile {
  public:
    explicit BytesFile(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    void Change(std::int64_t offset, std::uint8_t value) {
        changedAt_ = offset;
        changedTo_ = value;
    }
    void Restore() { changedAt_ = -1; }

    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
    void Seek(std::int64_t offset) override { position_ = offset; }
    std::uint8_t ReadByte() override {
        if (position_ < 0 || position_ >= Size()) {
            throw std::out_of_range("a read past the end of the file");
        }
        const std::uint8_t byte = position_ == changedAt_ ? changedTo_ : bytes_[static_cast<std::size_t>(position_)];
        ++position_;
        return byte;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::int64_t position_ = 0;
    std::int64_t changedAt_ = -1;
    std::uint8_t changedTo_ = 0;
};

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
                const std::vector<OutputFile>& output,
                const BuildOptions& options) {
    const auto fail = [&](const LoadedFile* file, const std::string& text) {
        description.Refuse(file != nullptr ? file->Newest().Described->Line : 0,
                           "the generated tables and the packed data disagree: " + text + "; nothing was written");
    };
    // The tables as the patcher will have them: read back from the resource written.
    const auto resource = std::find_if(output.begin(), output.end(),
                                       [](const OutputFile& out) { return out.Name == PatchTablesFileName(); });
    if (resource == output.end()) {
        fail(nullptr, "no tables resource is written");
    }
    PatchTables tables;
    try {
        tables = ReadPatchTables(resource->Bytes);
    } catch (const PatchTablesError& refusal) {
        fail(nullptr, std::string("the patcher would refuse them: ") + refusal.what());
    }
    if (!(tables == derived)) {
        fail(nullptr, "the tables resource does not read back as the tables it was written from");
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

    std::map<std::string, const OutputFile*> packed;
    for (const OutputFile& out : output) {
        if (out.Name.ends_with(".packed") && out.Name != PatchTablesFileName()) {
            packed[out.Name.substr(0, out.Name.size() - 7)] = &out;
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
                const std::span<const std::uint8_t> unpacked = Unpack(decoder, found->second->Bytes);
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
    for (const auto& [name, file] : packed) {
        if (used.count(name) == 0) {
            fail(nullptr, "packed data " + name + " belongs to no selected file");
        }
    }
}

}  // namespace patcher::patchkit

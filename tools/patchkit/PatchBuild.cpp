#include "tools/patchkit/PatchBuild.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

#include "engine/ContentDigests.h"
#include "engine/Crc32.h"
#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatchSources.h"
#include "tools/standin/PackedResources.h"
#include "tools/standin/SignaturePicker.h"

namespace patcher::patchkit {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A build of the release, read whole.
struct LoadedBuild {
    const DescribedBuild* Described;
    std::vector<std::uint8_t> Bytes;
};

struct LoadedFile {
    const DescribedFile* Described;
    std::vector<LoadedBuild> Builds;

    const LoadedBuild& Newest() const { return Builds.back(); }
};

std::string Label(const LoadedFile& file, const LoadedBuild& build) {
    return "file " + std::to_string(file.Described->FileIndex) + " version " +
           std::to_string(build.Described->Version) + ": ";
}

// The build's path as the description writes it, for messages.
std::string PathOf(const LoadedBuild& build) {
    return Quoted(build.Described->Path);
}

[[noreturn]] void Refuse(const PatchDescription& description, int line, const std::string& text) {
    throw DescriptionError(description.At(line, text));
}

// Where a build of the release lies: its path resolved, links included, which must stay inside the release
// folder. Throws ReadError.
std::filesystem::path ReleaseFilePlace(const std::filesystem::path& releaseDir, const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(releaseDir / path, error);
    if (error) {
        throw ReadError(error.message());
    }
    if (real == releaseDir || !IsWithin(real, releaseDir)) {
        const std::filesystem::path lexical = std::filesystem::path(path).lexically_normal();
        if (lexical.empty() || *lexical.begin() == "..") {
            throw ReadError("it lies outside the release folder");
        }
        throw ReadError("a link on the way leads outside the release folder, to " + Shown(real.string()));
    }
    return real;
}

std::vector<LoadedFile> ReadRelease(const PatchDescription& description,
                                    const std::filesystem::path& releaseFolder,
                                    BuildFigures& figures) {
    std::error_code error;
    const std::filesystem::path releaseDir = std::filesystem::canonical(releaseFolder, error);
    if (error) {
        throw std::runtime_error("the release folder " + Quoted(releaseFolder.string()) + " cannot be read (" +
                                 error.message() + ")");
    }
    std::vector<LoadedFile> files;
    for (const DescribedFile& described : description.Files) {
        LoadedFile file{&described, {}};
        for (const DescribedBuild& build : described.Builds) {
            LoadedBuild loaded{&build, {}};
            try {
                // The place is resolved before it is opened, and opened without following a link that has
                // taken its place meanwhile.
                loaded.Bytes = ReadRegularFile(ReleaseFilePlace(releaseDir, build.Path),
                                               static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()),
                                               "that a version table can hold", Links::Refuse);
            } catch (const ReadError& failure) {
                Refuse(description, build.Line,
                       Label(file, loaded) + PathOf(loaded) + " cannot be read (" + failure.what() + ")");
            }
            if (loaded.Bytes.empty()) {
                Refuse(description, build.Line,
                       Label(file, loaded) + PathOf(loaded) + " is empty, and an empty file is never recognised");
            }
            ++figures.FilesRead;
            figures.BytesRead += loaded.Bytes.size();
            file.Builds.push_back(std::move(loaded));
        }
        files.push_back(std::move(file));
    }
    return files;
}

// What needs the files' sizes and bytes: leading samples inside their file, and versions of equal size,
// which share their samples, leading with the same ones and differing somewhere.
void CheckBuilds(const PatchDescription& description, const std::vector<LoadedFile>& files) {
    for (const LoadedFile& file : files) {
        for (std::size_t b = 0; b < file.Builds.size(); ++b) {
            const LoadedBuild& build = file.Builds[b];
            const DescribedBuild& described = *build.Described;
            for (std::size_t i = 0; i < described.Leading.size(); ++i) {
                if (static_cast<std::size_t>(described.Leading[i]) >= build.Bytes.size()) {
                    Refuse(description, described.LeadingLines[i],
                           Label(file, build) + "leading sample " + std::to_string(described.Leading[i]) +
                               " lies beyond the " + std::to_string(build.Bytes.size()) + " bytes of " + PathOf(build));
                }
            }
            for (std::size_t a = 0; a < b; ++a) {
                const LoadedBuild& earlier = file.Builds[a];
                if (earlier.Bytes.size() != build.Bytes.size()) {
                    continue;
                }
                const std::string other = "version " + std::to_string(earlier.Described->Version);
                if (earlier.Bytes == build.Bytes) {
                    Refuse(description, described.Line,
                           Label(file, build) + PathOf(build) + " has the same size and bytes as " + other +
                               ": no samples can tell them apart");
                }
                if (earlier.Described->Leading != described.Leading) {
                    Refuse(description, described.Line,
                           Label(file, build) + "it has the size of " + other +
                               ", whose samples it shares, and must lead with the same ones");
                }
            }
        }
    }
}

// The names of a file's slots in the resource table.
std::pair<ByteStringView, ByteStringView> SlotNames(const BuildOptions& options, int fileIndex) {
    const auto row = static_cast<std::size_t>(2 * (fileIndex - 1));
    return {options.ResourceNames[row], options.ResourceNames[row + 1]};
}

const LoadedFile& FileOf(const std::vector<LoadedFile>& files, int fileIndex) {
    return *std::find_if(files.begin(), files.end(),
                         [&](const LoadedFile& f) { return f.Described->FileIndex == fileIndex; });
}

// A split that a description gives fits its file: its row has two slots, and slot 2 keeps 1 to UnpackCapacity
// bytes of the newest build.
void CheckGivenSplits(const PatchDescription& description,
                      const std::vector<LoadedFile>& files,
                      const BuildOptions& options) {
    for (const LoadedFile& file : files) {
        const DescribedFile& described = *file.Described;
        if (!described.FirstSlotBytes) {
            continue;
        }
        const auto [first, second] = SlotNames(options, described.FileIndex);
        const std::string given = "file " + std::to_string(described.FileIndex) +
                                  ": FirstSlotBytes = " + std::to_string(*described.FirstSlotBytes);
        if (second.empty()) {
            Refuse(description, described.FirstSlotLine,
                   given + " splits the file over two slots, but its row has one" +
                       (first.empty() ? std::string() : " (" + ByteString(first) + ")"));
        }
        const LoadedBuild& newest = file.Newest();
        const std::size_t size = newest.Bytes.size();
        const auto split = static_cast<std::size_t>(*described.FirstSlotBytes);
        const std::string slot2 = "slot 2 (" + ByteString(second) + ")";
        if (split >= size) {
            Refuse(description, described.FirstSlotLine,
                   given + " leaves nothing for " + slot2 + " of the " + std::to_string(size) + " bytes of " +
                       PathOf(newest) + ", the newest build");
        }
        if (size - split > static_cast<std::size_t>(UnpackCapacity)) {
            Refuse(description, described.FirstSlotLine,
                   given + " leaves " + std::to_string(size - split) + " bytes of the " + std::to_string(size) +
                       " of " + PathOf(newest) + " for " + slot2 + ", more than the " + std::to_string(UnpackCapacity) +
                       " bytes that a slot unpacks to");
        }
    }
}

// How slot 1 of a file's row is filled: as the description says, else by the default split.
std::optional<std::size_t> GivenSplit(const LoadedFile& file) {
    if (!file.Described->FirstSlotBytes) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(*file.Described->FirstSlotBytes);
}

// Every selected file has a name in slot 1 of its row, and its new content fits the row's slots.
void CheckSlots(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const BuildOptions& options) {
    CheckGivenSplits(description, files, options);
    for (std::size_t s = 0; s < description.SelectedFiles.size(); ++s) {
        const int fileIndex = description.SelectedFiles[s];
        const auto [first, second] = SlotNames(options, fileIndex);
        if (first.empty()) {
            Refuse(description, description.SelectedLines[s],
                   "file " + std::to_string(fileIndex) + " is selected, but its row of the resource table names " +
                       (second.empty() ? "no resource" : "no resource in slot 1"));
        }
        const LoadedFile& file = FileOf(files, fileIndex);
        const LoadedBuild& newest = file.Newest();
        const auto parts = standin::SplitOverSlots(newest.Bytes, !second.empty(), GivenSplit(file));
        const std::string has =
            Label(file, newest) + PathOf(newest) + " has " + std::to_string(newest.Bytes.size()) + " bytes, ";
        for (std::size_t slot = 0; slot < parts.size(); ++slot) {
            const std::string name =
                "slot " + std::to_string(slot + 1) + " (" + ByteString(slot == 0 ? first : second) + ")";
            if (parts[slot].size() > UnpackCapacity) {
                Refuse(description, newest.Described->Line,
                       has + "too many for its row's " + (parts.size() == 1 ? "one slot: " : "two slots: ") + name +
                           " would hold " + std::to_string(parts[slot].size()) + ", more than the " +
                           std::to_string(UnpackCapacity) + " bytes that a slot unpacks to");
            }
            if (parts[slot].empty()) {
                Refuse(description, newest.Described->Line,
                       has + "too few for its row's two slots: " + name + " would be empty");
            }
        }
    }
}

// Tables that recognition runs over before they are written out.
class DerivedTables final : public VersionTableView {
  public:
    DerivedTables(const std::vector<LoadedFile>& files, const std::vector<standin::PickedTable>& tables) {
        for (const LoadedFile& file : files) {
            const auto row = static_cast<std::size_t>(file.Described->FileIndex - 1);
            for (const LoadedBuild& build : file.Builds) {
                const auto column = static_cast<std::size_t>(build.Described->Version - 1);
                sizes_[row][column] = static_cast<std::int32_t>(build.Bytes.size());
                newest_[row] = build.Described->Version;
            }
        }
        for (const standin::PickedTable& table : tables) {
            tables_[static_cast<std::size_t>(table.FileIndex - 1)][static_cast<std::size_t>(table.Version - 1)] =
                table.Entries;
        }
    }

    std::int32_t VersionSize(int fileIndex, int version) const override {
        return InTable(fileIndex, version) ? sizes_[Row(fileIndex)][Column(version)] : 0;
    }
    std::int32_t NewestVersion(int fileIndex) const override {
        return InTable(fileIndex, 1) ? newest_[Row(fileIndex)] : 0;
    }
    const SignatureTable* FindSignatureTable(int fileIndex, int version) const override {
        if (!InTable(fileIndex, version)) {
            return nullptr;
        }
        const auto& table = tables_[Row(fileIndex)][Column(version)];
        return table ? &*table : nullptr;
    }

    const SizeTable& Sizes() const { return sizes_; }

  private:
    static bool InTable(int fileIndex, int version) {
        return fileIndex >= 1 && fileIndex <= kFileCount && version >= 1 && version <= kMaxVersions;
    }
    static std::size_t Row(int fileIndex) { return static_cast<std::size_t>(fileIndex - 1); }
    static std::size_t Column(int version) { return static_cast<std::size_t>(version - 1); }

    SizeTable sizes_{};
    std::array<int, kFileCount> newest_{};
    std::array<std::array<std::optional<SignatureTable>, kMaxVersions>, kFileCount> tables_{};
};

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

std::vector<standin::PickedTable> PickTables(const PatchDescription& description,
                                             const std::vector<LoadedFile>& files) {
    std::vector<standin::KnownFile> known;
    for (const LoadedFile& file : files) {
        standin::KnownFile entry{file.Described->FileIndex, {}};
        for (const LoadedBuild& build : file.Builds) {
            entry.Builds.push_back({build.Described->Version, build.Bytes, build.Described->Leading});
        }
        known.push_back(std::move(entry));
    }
    try {
        return standin::PickSignatureTables(known);
    } catch (const standin::PickError& error) {
        for (const LoadedFile& file : files) {
            for (const LoadedBuild& build : file.Builds) {
                if (file.Described->FileIndex == error.FileIndex && build.Described->Version == error.Version) {
                    Refuse(description, build.Described->Line,
                           Label(file, build) + PathOf(build) + " (" + std::to_string(build.Bytes.size()) +
                               " bytes): " + error.what());
                }
            }
        }
        throw;
    }
}

std::string RecognisedAs(const Recognition& recognition) {
    if (recognition.Version != 0) {
        return "recognised as version " + std::to_string(recognition.Version);
    }
    return recognition.Result == CheckResult::Unreadable ? "unreadable" : "not recognised";
}

// Every build is recognised as itself, by the patcher's own algorithm over the new tables, and no longer
// recognised at all once any one of its sampled bytes holds any other value.
void Verify(const PatchDescription& description,
            const std::vector<LoadedFile>& files,
            const DerivedTables& tables,
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
                Refuse(description, build.Described->Line,
                       Label(file, build) + PathOf(build) + " is " + RecognisedAs(found) + " by the new tables");
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
                        Refuse(description, build.Described->Line,
                               Label(file, build) + "with " + byte + " at offset " + std::to_string(samples[s].Offset) +
                                   " (sample " + std::to_string(s + 1) + ") it is still " + RecognisedAs(changed));
                    }
                    ++figures.ChangedSamplesRefused;
                }
                bytes.Restore();
            }
        }
    }
}

std::vector<standin::PackedResource> PackSlots(const PatchDescription& description,
                                               const std::vector<LoadedFile>& files,
                                               const BuildOptions& options,
                                               BuildFigures& figures) {
    std::vector<standin::PackedResource> slots;
    for (const int fileIndex : description.SelectedFiles) {
        const LoadedFile& file = FileOf(files, fileIndex);
        const auto [first, second] = SlotNames(options, fileIndex);
        try {
            for (standin::PackedResource& slot :
                 standin::PackFileResources(file.Newest().Bytes, first, second, options.Method, GivenSplit(file))) {
                figures.Slots.push_back({slot.Name, slot.UnpackedSize, slot.Packed.size()});
                slots.push_back(std::move(slot));
            }
        } catch (const std::exception& error) {
            Refuse(description, file.Newest().Described->Line, Label(file, file.Newest()) + error.what());
        }
    }
    return slots;
}

OutputFile Text(std::string name, const std::string& text) {
    return {std::move(name), std::vector<std::uint8_t>(text.begin(), text.end())};
}

// The tables that the generated sources hold and the packed data that the build writes, checked against
// each other as the patcher will use them: one signature table for every known build and no other, each
// file's digest that of its newest build, and each selected file's packed slots, unpacked and put together
// as the patcher's rewrite does, giving exactly its newest build, which the new tables recognise as current.
// A disagreement is a fault of this tool, never a patcher to ship.
void CrossCheck(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const std::vector<standin::PickedTable>& picked,
                const DerivedTables& tables,
                const std::array<ContentDigest, kFileCount>& digests,
                const std::vector<OutputFile>& output,
                const BuildOptions& options) {
    const auto fail = [&](const LoadedFile* file, const std::string& text) {
        Refuse(description, file != nullptr ? file->Newest().Described->Line : 0,
               "the generated tables and the packed data disagree: " + text + "; nothing was written");
    };
    std::set<std::pair<int, int>> withTable;
    for (const standin::PickedTable& table : picked) {
        if (!withTable.insert({table.FileIndex, table.Version}).second) {
            fail(nullptr, "two signature tables for file " + std::to_string(table.FileIndex) + " version " +
                              std::to_string(table.Version));
        }
    }
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        const auto described = std::find_if(files.begin(), files.end(),
                                            [&](const LoadedFile& f) { return f.Described->FileIndex == fileIndex; });
        const LoadedFile* file = described == files.end() ? nullptr : &*described;
        for (int version = 1; version <= kMaxVersions; ++version) {
            if ((tables.VersionSize(fileIndex, version) != 0) != (withTable.count({fileIndex, version}) != 0)) {
                fail(file, "file " + std::to_string(fileIndex) + " version " + std::to_string(version) +
                               " has a size but no signature table, or a table but no size");
            }
        }
        const ContentDigest& digest = digests[static_cast<std::size_t>(fileIndex - 1)];
        if (file == nullptr) {
            if (digest.Size != 0 || tables.NewestVersion(fileIndex) != 0) {
                fail(nullptr, "file " + std::to_string(fileIndex) + " is not described, yet has a digest or version");
            }
            continue;
        }
        const LoadedBuild& newest = file->Newest();
        if (tables.NewestVersion(fileIndex) != newest.Described->Version ||
            tables.VersionSize(fileIndex, newest.Described->Version) !=
                static_cast<std::int32_t>(newest.Bytes.size()) ||
            digest.Size != static_cast<std::int32_t>(newest.Bytes.size()) || digest.Crc32 != Crc32(newest.Bytes)) {
            fail(file, "file " + std::to_string(fileIndex) + "'s newest version, size or digest is not that of " +
                           PathOf(newest));
        }
    }

    std::map<std::string, const OutputFile*> packed;
    for (const OutputFile& out : output) {
        if (out.Name.ends_with(".packed")) {
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
        const ContentDigest& digest = digests[static_cast<std::size_t>(fileIndex - 1)];
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

}  // namespace

std::vector<OutputFile> MakePatch(const PatchDescription& description,
                                  const std::filesystem::path& releaseDir,
                                  const std::filesystem::path& outDir,
                                  const BuildOptions& options,
                                  BuildFigures& figures) {
    Clock::time_point start = Clock::now();
    const std::vector<LoadedFile> files = ReadRelease(description, releaseDir, figures);
    CheckBuilds(description, files);
    CheckSlots(description, files, options);
    figures.Reading = SecondsSince(start);

    start = Clock::now();
    const std::vector<standin::PickedTable> picked = PickTables(description, files);
    const DerivedTables tables(files, picked);
    figures.TablesPicked = static_cast<int>(picked.size());
    figures.Tables = SecondsSince(start);

    start = Clock::now();
    Verify(description, files, tables, figures);
    figures.Verification = SecondsSince(start);

    start = Clock::now();
    std::vector<standin::PackedResource> slots = PackSlots(description, files, options, figures);
    figures.Packing = SecondsSince(start);

    std::array<ContentDigest, kFileCount> digests{};
    for (const LoadedFile& file : files) {
        digests[static_cast<std::size_t>(file.Described->FileIndex - 1)] = {
            static_cast<std::int32_t>(file.Newest().Bytes.size()), Crc32(file.Newest().Bytes)};
    }
    std::vector<ByteString> names;
    for (const standin::PackedResource& slot : slots) {
        names.push_back(slot.Name);
    }
    std::vector<OutputFile> output;
    try {
        output = {
            Text("BuildProfile.cpp", RenderBuildProfile(description)),
            Text("ContentDigests.cpp", RenderContentDigests(description, digests)),
            Text("PackedResources.rc", RenderResourceScript(description, names, FolderPath(outDir))),
            Text("Patch.cmake", RenderPatchCmake(description)),
            Text("SignatureTables.cpp", RenderSignatureTables(description, picked)),
            Text("VersionTables.cpp", RenderVersionTables(description, tables.Sizes())),
        };
    } catch (const std::invalid_argument& error) {
        Refuse(description, 0, error.what());
    }
    for (standin::PackedResource& slot : slots) {
        output.push_back({slot.Name + ".packed", std::move(slot.Packed)});
    }

    start = Clock::now();
    CrossCheck(description, files, picked, tables, digests, output, options);
    figures.Checking = SecondsSince(start);
    return output;
}

namespace {

// The real places of what a build reads and writes, checked so that replacing the output folder can delete
// nothing that the build reads: the output folder is not the release folder, holds neither it nor the
// description, and does not lie inside the release folder. Links are followed, since a folder reached
// through a link is deleted all the same. Returns the release folder's real path.
std::filesystem::path CheckPlaces(const std::string& descriptionPath,
                                  const std::filesystem::path& releaseDir,
                                  const std::filesystem::path& outDir) {
    std::error_code error;
    const std::string release = "the release folder " + Quoted(releaseDir.string());
    const std::filesystem::path releaseReal = std::filesystem::canonical(releaseDir, error);
    if (error) {
        throw std::runtime_error(release + " cannot be read (" + error.message() + ")");
    }
    if (!std::filesystem::is_directory(releaseReal, error)) {
        throw std::runtime_error(release + " is not a folder");
    }
    const std::string out = "the output folder " + Quoted(outDir.string());
    const std::filesystem::file_status status = std::filesystem::status(outDir, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        throw std::runtime_error(out + " cannot be used (" + error.message() + ")");
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        throw std::runtime_error(out + " exists and is not a folder");
    }
    std::filesystem::path outReal;
    std::filesystem::path descriptionReal;
    std::filesystem::path descriptionPlace;
    try {
        outReal = RealPath(FolderPath(outDir));
        descriptionReal = RealPath(descriptionPath);
        descriptionPlace =
            RealPath(FolderPath(descriptionPath).parent_path()) / std::filesystem::path(descriptionPath).filename();
    } catch (const ReadError& failure) {
        throw std::runtime_error(out + " cannot be used (" + failure.what() + ")");
    }
    if (outReal == releaseReal) {
        throw std::runtime_error(out + " is " + release + ", which replacing it would delete");
    }
    if (IsWithin(releaseReal, outReal)) {
        throw std::runtime_error(out + " holds " + release + ", which replacing it would delete");
    }
    if (IsWithin(outReal, releaseReal)) {
        throw std::runtime_error(out + " lies inside " + release + ", which a build only reads");
    }
    if (IsWithin(descriptionReal, outReal) || IsWithin(descriptionPlace, outReal)) {
        throw std::runtime_error(out + " holds the description " + Quoted(descriptionPath) +
                                 ", which replacing it would delete");
    }
    // The resource script names the packed files by their place in the output folder.
    try {
        CheckScriptPath(FolderPath(outDir).generic_string());
    } catch (const std::invalid_argument& refusal) {
        throw std::runtime_error(out + " " + refusal.what());
    }
    return releaseReal;
}

}  // namespace

BuildFigures BuildPatch(const std::string& descriptionPath,
                        const std::filesystem::path& releaseDir,
                        const std::filesystem::path& outDir,
                        const BuildOptions& options) {
    const PatchDescription description = ReadPatchDescription(descriptionPath);
    const std::filesystem::path release = CheckPlaces(descriptionPath, releaseDir, outDir);
    BuildFigures figures;
    const std::vector<OutputFile> files = MakePatch(description, release, outDir, options, figures);
    const Clock::time_point start = Clock::now();
    ReplaceFolder(outDir, files);
    figures.Writing = SecondsSince(start);
    figures.FilesWritten = static_cast<int>(files.size());
    return figures;
}

}  // namespace patcher::patchkit

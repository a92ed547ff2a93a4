#include "tools/patchkit/PatchBuild.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>

#include "engine/ContentDigests.h"
#include "engine/Crc32.h"
#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "platform/posix/UniqueFd.h"
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

std::string Quoted(const LoadedBuild& build) {
    return "\"" + build.Described->Path + "\"";
}

[[noreturn]] void Refuse(const PatchDescription& description, int line, const std::string& text) {
    throw DescriptionError(description.At(line, text));
}

struct ReadFailure {
    std::string Reason;
};

// Reads a whole regular file. Throws ReadFailure with the system's reason.
std::vector<std::uint8_t> ReadReleaseFile(const std::filesystem::path& path) {
    // Non-blocking, so that a FIFO in the release folder is refused rather than waited on.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        throw ReadFailure{std::strerror(errno)};
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        throw ReadFailure{std::strerror(errno)};
    }
    if (S_ISDIR(info.st_mode)) {
        throw ReadFailure{std::strerror(EISDIR)};
    }
    if (!S_ISREG(info.st_mode)) {
        throw ReadFailure{"not a regular file"};
    }
    if (info.st_size > std::numeric_limits<std::int32_t>::max()) {
        throw ReadFailure{std::to_string(info.st_size) + " bytes, more than a version table can hold"};
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw ReadFailure{std::strerror(errno)};
        }
        if (got == 0) {
            throw ReadFailure{"it shrank while it was read"};
        }
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

std::vector<LoadedFile> ReadRelease(const PatchDescription& description,
                                    const std::filesystem::path& releaseDir,
                                    BuildFigures& figures) {
    std::vector<LoadedFile> files;
    for (const DescribedFile& described : description.Files) {
        LoadedFile file{&described, {}};
        for (const DescribedBuild& build : described.Builds) {
            LoadedBuild loaded{&build, {}};
            try {
                loaded.Bytes = ReadReleaseFile(releaseDir / build.Path);
            } catch (const ReadFailure& failure) {
                Refuse(description, build.Line,
                       Label(file, loaded) + Quoted(loaded) + " cannot be read (" + failure.Reason + ")");
            }
            if (loaded.Bytes.empty()) {
                Refuse(description, build.Line,
                       Label(file, loaded) + Quoted(loaded) + " is empty, and an empty file is never recognised");
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
                               " lies beyond the " + std::to_string(build.Bytes.size()) + " bytes of " + Quoted(build));
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
                           Label(file, build) + Quoted(build) + " has the same size and bytes as " + other +
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

// Every selected file has a name in slot 1 of its row, and its new content fits the row's slots.
void CheckSlots(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const BuildOptions& options) {
    for (std::size_t s = 0; s < description.SelectedFiles.size(); ++s) {
        const int fileIndex = description.SelectedFiles[s];
        const auto [first, second] = SlotNames(options, fileIndex);
        if (first.empty()) {
            Refuse(description, description.SelectedLines[s],
                   "file " + std::to_string(fileIndex) + " is selected, but its row of the resource table names " +
                       (second.empty() ? "no resource" : "no resource in slot 1"));
        }
        const LoadedFile& file = *std::find_if(
            files.begin(), files.end(), [&](const LoadedFile& f) { return f.Described->FileIndex == fileIndex; });
        const LoadedBuild& newest = file.Newest();
        const auto parts = standin::SplitOverSlots(newest.Bytes, !second.empty());
        const std::string has =
            Label(file, newest) + Quoted(newest) + " has " + std::to_string(newest.Bytes.size()) + " bytes, ";
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
                    Refuse(description, build.Described->Line, Label(file, build) + error.what());
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
                       Label(file, build) + Quoted(build) + " is " + RecognisedAs(found) + " by the new tables");
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
        const LoadedFile& file = *std::find_if(
            files.begin(), files.end(), [&](const LoadedFile& f) { return f.Described->FileIndex == fileIndex; });
        const auto [first, second] = SlotNames(options, fileIndex);
        try {
            for (standin::PackedResource& slot :
                 standin::PackFileResources(file.Newest().Bytes, first, second, options.Method)) {
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

bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
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
    std::vector<OutputFile> output = {
        Text("BuildProfile.cpp", RenderBuildProfile(description)),
        Text("ContentDigests.cpp", RenderContentDigests(description, digests)),
        Text("PackedResources.rc", RenderResourceScript(description, names, FolderPath(outDir))),
        Text("Patch.cmake", RenderPatchCmake(description)),
        Text("SignatureTables.cpp", RenderSignatureTables(description, picked)),
        Text("VersionTables.cpp", RenderVersionTables(description, tables.Sizes())),
    };
    for (standin::PackedResource& slot : slots) {
        output.push_back({slot.Name + ".packed", std::move(slot.Packed)});
    }
    return output;
}

BuildFigures BuildPatch(const std::string& descriptionPath,
                        const std::filesystem::path& releaseDir,
                        const std::filesystem::path& outDir,
                        const BuildOptions& options) {
    const PatchDescription description = ReadPatchDescription(descriptionPath);
    const std::filesystem::path folder = FolderPath(outDir);
    if (std::filesystem::exists(folder) && !std::filesystem::is_directory(folder)) {
        throw std::runtime_error(outDir.string() + " exists and is not a folder");
    }
    if (!std::filesystem::is_directory(releaseDir)) {
        throw std::runtime_error("the release folder " + releaseDir.string() + " is not a folder");
    }
    // The output folder is replaced as a whole: it must not hold what the build reads.
    if (IsWithin(FolderPath(releaseDir), folder) || IsWithin(FolderPath(descriptionPath), folder)) {
        throw std::runtime_error("the output folder " + outDir.string() +
                                 " holds the release folder or the description, which replacing it would delete");
    }
    BuildFigures figures;
    const std::vector<OutputFile> files = MakePatch(description, releaseDir, folder, options, figures);
    const Clock::time_point start = Clock::now();
    ReplaceFolder(folder, files);
    figures.Writing = SecondsSince(start);
    figures.FilesWritten = static_cast<int>(files.size());
    return figures;
}

}  // namespace patcher::patchkit

#include "tools/standin/StandinGenerator.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>

#include "profile/ProductProfile.h"
#include "tools/standin/PeImage.h"

namespace patcher::standin {
namespace {

constexpr std::uint64_t kFamilySeed = 0x566F6B6172696F6EULL;  // "Vokarion"

constexpr int kFiles = 12;
constexpr int kVersions = 12;

// The sizes of the family's published builds, which the stand-ins take on. The patcher's own tables are
// derived from the files (`patchkit build`), not from this list.
constexpr FamilySizes kPublishedSizes = {{
    {1929728, 1971200, 2038272, 2031616, 2031616, 2075648, 2075648, 2123776, 2249728, 2300928, 2288640},
    {991232, 0, 0, 1187328},  // VokarInt.exe knows versions 1 and 4 only
    {979968, 977920, 1107968},
    {1183232, 1205248},
    {1072640, 1094656},
    {710656, 713216},
    {710656, 713216},
    {2050048, 2143744, 2155008},
    {407686},
    {17567},
    {724992, 601088},
    {1434624, 1486848},
}};

// The next releases: build 12 of VokarEn.exe and build 4 of VokarDe.exe beside the published builds, each of a
// size that no other build of its file has, so that the published builds keep their tables.
constexpr FamilySizes kNextSizes = [] {
    FamilySizes sizes = kPublishedSizes;
    sizes[0][11] = 2301952;
    sizes[7][3] = 2166272;
    return sizes;
}();

// VokarDe.exe grown: every size a multiple of the 512-byte file alignment, as a linker writes it.
constexpr FamilySizes kGrownSizes = {{
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {3670016, 3712512, 3801088, 3801088, 3858432, 3927040, 3981312, 4052480, 4118016, 4118016, 4194304},
}};

std::int32_t SizeOf(const FamilySizes& sizes, int fileIndex, int version) {
    if (fileIndex < 1 || fileIndex > kFiles || version < 1 || version > kVersions) {
        return 0;
    }
    return sizes[static_cast<std::size_t>(fileIndex - 1)][static_cast<std::size_t>(version - 1)];
}

// Bytes that the product's published samples of the real builds fix. The stand-ins carry the same bytes at
// the same places, so that the tables we derive from them keep those samples.
struct PlantedByte {
    int FileIndex;
    int Version;
    std::int32_t Offset;
    std::uint8_t Value;
};
constexpr PlantedByte kPlantedBytes[] = {
    {1, 1, 60554, 0x7D},  {1, 1, 1661589, 0x6E}, {1, 6, 566488, 0xFF}, {1, 7, 566488, 0xE0},
    {10, 1, 13112, 0x84}, {10, 1, 1411, 0x00},   {10, 1, 1340, 0x00},
};

// How one build of a file differs from the one before it. Most builds change code, data and resources all
// over. A rebuild of the same size may instead differ only from some place on: a unit there was recompiled a
// few bytes longer, the linker placed everything after it further on, and each section gave the bytes back
// from its unused end.
struct TransitionPlan {
    double EditsPerMegabyte = 24.0;
    std::uint32_t ShiftFrom = 0;  // file offset where such a rebuild starts to differ; 0 for an ordinary build
    std::uint32_t ShiftBy = 0;
};

TransitionPlan PlanFor(int fileIndex, int toVersion) {
    if (fileIndex == 1 && toVersion == 7) {
        return {0.0, 840000, 16};
    }
    return {};
}

bool IsHelpFile(int fileIndex) {
    return FileName(fileIndex).ends_with(".chm");
}

std::uint64_t FileSeed(int fileIndex) {
    return Random::Mix(kFamilySeed, static_cast<std::uint64_t>(fileIndex));
}

// Brings a payload to the length `target`, inserting fresh content or cutting spans at random places.
void AdjustLength(Bytes& payload, std::size_t target, Style style, Random& random, const ContentWriter& writer) {
    while (payload.size() != target) {
        const std::size_t position = random.Below(static_cast<std::uint32_t>(payload.size() + 1));
        const std::size_t chunk = random.Between(16, 4096);
        if (payload.size() > target) {
            const std::size_t cut = std::min({chunk, payload.size() - target, payload.size() - position});
            payload.erase(payload.begin() + static_cast<std::ptrdiff_t>(position),
                          payload.begin() + static_cast<std::ptrdiff_t>(position + cut));
        } else {
            Bytes fresh;
            writer.Append(style, random, fresh, std::min(chunk, target - payload.size()));
            payload.insert(payload.begin() + static_cast<std::ptrdiff_t>(position), fresh.begin(), fresh.end());
        }
    }
}

void Edit(Bytes& payload, Style style, Random& random, const ContentWriter& writer) {
    const std::size_t position = random.Below(static_cast<std::uint32_t>(payload.size() + 1));
    const std::size_t length = random.Between(16, 2048);
    const std::uint32_t kind = random.Below(100);
    Bytes fresh;
    if (kind < 25) {  // code or data removed
        const std::size_t cut = std::min(length, payload.size() - position);
        payload.erase(payload.begin() + static_cast<std::ptrdiff_t>(position),
                      payload.begin() + static_cast<std::ptrdiff_t>(position + cut));
        return;
    }
    writer.Append(style, random, fresh, length);
    if (kind < 65) {  // new code or data
        payload.insert(payload.begin() + static_cast<std::ptrdiff_t>(position), fresh.begin(), fresh.end());
    } else {  // changed in place
        const std::size_t replaced = std::min(length, payload.size() - position);
        std::copy_n(fresh.begin(), replaced, payload.begin() + static_cast<std::ptrdiff_t>(position));
    }
}

// A rebuild of equal size that differs from plan.ShiftFrom on (see TransitionPlan).
ExeBuild Shift(const ExeBuild& from, const TransitionPlan& plan, Random& random, const ContentWriter& writer) {
    ExeBuild next = from;
    std::uint32_t sectionStart = kHeaderSize;
    for (Section& section : next.Sections) {
        const std::uint32_t start = sectionStart;
        sectionStart += section.RawSize;
        if (!section.Evolves || start + section.Payload.size() <= plan.ShiftFrom) {
            continue;
        }
        const std::size_t at = plan.ShiftFrom > start ? plan.ShiftFrom - start : 0;
        Bytes grown;
        writer.Append(section.Content, random, grown, plan.ShiftBy);
        section.Payload.insert(section.Payload.begin() + static_cast<std::ptrdiff_t>(at), grown.begin(), grown.end());
        section.Payload.resize(section.Payload.size() - plan.ShiftBy);
    }
    return next;
}

ExeBuild Evolve(const ExeBuild& from,
                std::uint32_t targetSize,
                const TransitionPlan& plan,
                Random& random,
                const ContentWriter& writer) {
    if (plan.ShiftFrom != 0) {
        return Shift(from, plan, random, writer);
    }
    ExeBuild next = from;
    const std::vector<std::uint32_t> rawSizes = ResizeSections(from, targetSize);
    for (std::size_t i = 0; i < next.Sections.size(); ++i) {
        Section& section = next.Sections[i];
        const std::uint32_t oldRaw = section.RawSize;
        section.RawSize = rawSizes[i];
        if (!section.Evolves) {
            continue;
        }
        const double megabytes = static_cast<double>(section.Payload.size()) / 1048576.0;
        const auto edits = std::max(2, static_cast<int>(plan.EditsPerMegabyte * megabytes));
        for (int e = 0; e < edits; ++e) {
            Edit(section.Payload, section.Content, random, writer);
        }
        // Same room, same fill: a section that kept its size keeps its length; one that changed gets a new
        // unused tail inside its last file-alignment block.
        const std::size_t target =
            section.RawSize == oldRaw
                ? from.Sections[i].Payload.size()
                : section.RawSize - random.Below(std::min<std::uint32_t>(section.RawSize / 2, 512));
        AdjustLength(section.Payload, target, section.Content, random, writer);
    }
    return next;
}

// The published samples belong to the published builds alone, which the next release keeps.
void Plant(const FamilySizes& sizes, int fileIndex, int version, Bytes& image) {
    if (&sizes != &kPublishedSizes && &sizes != &kNextSizes) {
        return;
    }
    for (const PlantedByte& planted : kPlantedBytes) {
        if (planted.FileIndex == fileIndex && planted.Version == version) {
            image.at(static_cast<std::size_t>(planted.Offset)) = planted.Value;
        }
    }
}

}  // namespace

struct StandinBuilds::FileHistory {
    explicit FileHistory(int fileIndex) : Writer(FileSeed(fileIndex)) {}

    ContentWriter Writer;
    std::optional<ExeBuild> Latest;  // the model of the newest version made so far
    int LatestVersion = 0;
    std::map<int, Bytes> Images;
};

const FamilySizes& PublishedSizes() {
    return kPublishedSizes;
}

const FamilySizes& NextSizes() {
    return kNextSizes;
}

const FamilySizes& GrownSizes() {
    return kGrownSizes;
}

StandinBuilds::StandinBuilds(const FamilySizes& sizes) : sizes_(sizes) {}
StandinBuilds::~StandinBuilds() = default;

const Bytes& StandinBuilds::Get(int fileIndex, int version) {
    const std::int32_t size = SizeOf(sizes_, fileIndex, version);
    if (size <= 0) {
        throw std::invalid_argument("no known version " + std::to_string(version) + " of file " +
                                    std::to_string(fileIndex));
    }
    auto& history = files_[fileIndex];
    if (!history) {
        history = std::make_unique<FileHistory>(fileIndex);
    }
    if (const auto made = history->Images.find(version); made != history->Images.end()) {
        return made->second;
    }
    if (IsHelpFile(fileIndex)) {
        Random random(Random::Mix(FileSeed(fileIndex), static_cast<std::uint64_t>(version)));
        Bytes image = MakeHelpFile(fileIndex, static_cast<std::uint32_t>(size), random, history->Writer);
        Plant(sizes_, fileIndex, version, image);
        return history->Images[version] = std::move(image);
    }
    // Each build derives from the one before it, so make every version up to the one asked for.
    for (const int next : KnownVersions(fileIndex, sizes_)) {
        if (next <= history->LatestVersion) {
            continue;
        }
        const auto nextSize = static_cast<std::uint32_t>(SizeOf(sizes_, fileIndex, next));
        Random random(Random::Mix(FileSeed(fileIndex), static_cast<std::uint64_t>(next)));
        history->Latest = history->Latest
                              ? Evolve(*history->Latest, nextSize, PlanFor(fileIndex, next), random, history->Writer)
                              : FirstBuild(nextSize, random, history->Writer);
        history->LatestVersion = next;
        Bytes image = AssembleImage(*history->Latest);
        Plant(sizes_, fileIndex, next, image);
        history->Images[next] = std::move(image);
        if (next == version) {
            break;
        }
    }
    return history->Images.at(version);
}

Bytes GenerateStandin(int fileIndex, int version) {
    StandinBuilds builds;
    return builds.Get(fileIndex, version);
}

std::vector<int> KnownVersions(int fileIndex, const FamilySizes& sizes) {
    std::vector<int> versions;
    for (int version = 1; version <= kVersions; ++version) {
        if (SizeOf(sizes, fileIndex, version) != 0) {
            versions.push_back(version);
        }
    }
    return versions;
}

}  // namespace patcher::standin

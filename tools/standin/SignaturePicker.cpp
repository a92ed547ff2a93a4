#include "tools/standin/SignaturePicker.h"

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/VersionTables.h"

namespace patcher::standin {
namespace {

constexpr std::uint64_t kPickerSeed = 0x5349474E41545552ULL;  // "SIGNATUR"

// The header's first byte, 'M' of "MZ": the programs whose tables check it do so first.
bool StartsWithHeaderCheck(int fileIndex) {
    return fileIndex == 1 || fileIndex == 3;
}

bool AllDiffer(const std::vector<const Bytes*>& images, std::size_t offset) {
    for (std::size_t a = 0; a < images.size(); ++a) {
        for (std::size_t b = a + 1; b < images.size(); ++b) {
            if ((*images[a])[offset] == (*images[b])[offset]) {
                return false;
            }
        }
    }
    return true;
}

// One sample offset in [low, high): from a random start, the first place where the versions of equal size
// all differ, if the stratum has one, else the start itself.
std::int32_t PickInStratum(std::uint32_t low,
                           std::uint32_t high,
                           const std::vector<const Bytes*>& images,
                           const std::vector<std::int32_t>& leading,
                           Random& random) {
    const auto isLeading = [&](std::uint32_t offset) {
        return std::find(leading.begin(), leading.end(), static_cast<std::int32_t>(offset)) != leading.end();
    };
    const std::uint32_t width = high - low;
    const std::uint32_t start = random.Below(width);
    std::optional<std::uint32_t> fallback;
    for (std::uint32_t step = 0; step < width; ++step) {
        const std::uint32_t offset = low + (start + step) % width;
        if (isLeading(offset)) {
            continue;
        }
        if (!fallback) {
            fallback = offset;
        }
        if (images.size() < 2 || AllDiffer(images, offset)) {
            return static_cast<std::int32_t>(offset);
        }
    }
    if (!fallback) {
        throw std::logic_error("a sampling stratum holds no free offset");
    }
    return static_cast<std::int32_t>(*fallback);
}

void CheckTellsApart(const std::vector<PickedTable>& group) {
    const auto sameBytes = [](const SignatureEntry& x, const SignatureEntry& y) { return x.Expected == y.Expected; };
    for (std::size_t a = 0; a < group.size(); ++a) {
        for (std::size_t b = a + 1; b < group.size(); ++b) {
            if (std::equal(group[a].Entries.begin(), group[a].Entries.end(), group[b].Entries.begin(), sameBytes)) {
                throw std::logic_error("the samples of file " + std::to_string(group[a].FileIndex) +
                                       " cannot tell version " + std::to_string(group[a].Version) + " from version " +
                                       std::to_string(group[b].Version));
            }
        }
    }
}

}  // namespace

std::vector<std::int32_t> LeadingOffsets(int fileIndex, std::int32_t size) {
    if (fileIndex == 1 && size == 1929728) {
        return {0, 60554, 1661589};
    }
    if (fileIndex == 1 && size == 2075648) {
        // The header checks ("MZ", the PE header's place, "PE"), then the byte that tells the two builds of
        // this size apart.
        return {0, 0x3C, 0x100, 0x101, 566488};
    }
    if (fileIndex == 10) {
        return {13112, 1411, 1340};
    }
    if (StartsWithHeaderCheck(fileIndex)) {
        return {0};
    }
    return {};
}

std::vector<PickedTable> PickSignatureTables(StandinBuilds& builds) {
    std::vector<PickedTable> tables;
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        // Versions grouped by size, groups in the order of their oldest version.
        std::vector<std::pair<std::int32_t, std::vector<int>>> groups;
        for (const int version : KnownVersions(fileIndex)) {
            const std::int32_t size = VersionSize(fileIndex, version);
            const auto group =
                std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == size; });
            if (group == groups.end()) {
                groups.push_back({size, {version}});
            } else {
                group->second.push_back(version);
            }
        }
        std::map<int, PickedTable> byVersion;
        for (const auto& [size, versions] : groups) {
            std::vector<const Bytes*> images;
            for (const int version : versions) {
                images.push_back(&builds.Get(fileIndex, version));
            }
            const std::vector<std::int32_t> leading = LeadingOffsets(fileIndex, size);
            const auto strata = static_cast<std::uint32_t>(kSignatureEntries - static_cast<int>(leading.size()));
            Random random(Random::Mix(kPickerSeed,
                                      static_cast<std::uint64_t>(fileIndex) << 32 | static_cast<std::uint32_t>(size)));
            // Offset 0 is only ever sampled as a leading header check.
            const auto span = static_cast<std::uint64_t>(size - 1);
            std::vector<std::int32_t> offsets;
            for (std::uint32_t s = 0; s < strata; ++s) {
                const auto low = static_cast<std::uint32_t>(1 + span * s / strata);
                const auto high = static_cast<std::uint32_t>(1 + span * (s + 1) / strata);
                offsets.push_back(PickInStratum(low, high, images, leading, random));
            }
            for (std::size_t i = offsets.size(); i > 1; --i) {
                std::swap(offsets[i - 1], offsets[random.Below(static_cast<std::uint32_t>(i))]);
            }
            offsets.insert(offsets.begin(), leading.begin(), leading.end());

            std::vector<PickedTable> group;
            for (std::size_t v = 0; v < versions.size(); ++v) {
                PickedTable table{fileIndex, versions[v], {}};
                for (std::size_t e = 0; e < offsets.size(); ++e) {
                    table.Entries[e] = {offsets[e], (*images[v])[static_cast<std::size_t>(offsets[e])]};
                }
                group.push_back(table);
            }
            CheckTellsApart(group);
            for (const PickedTable& table : group) {
                byVersion.emplace(table.Version, table);
            }
        }
        for (const auto& [version, table] : byVersion) {
            tables.push_back(table);
        }
    }
    return tables;
}

}  // namespace patcher::standin

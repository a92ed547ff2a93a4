#include "tools/standin/SignaturePicker.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "tools/standin/Random.h"

namespace patcher::standin {
namespace {

constexpr std::uint64_t kPickerSeed = 0x5349474E41545552ULL;  // "SIGNATUR"

using Image = std::span<const std::uint8_t>;

bool AllDiffer(const std::vector<Image>& images, std::size_t offset) {
    for (std::size_t a = 0; a < images.size(); ++a) {
        for (std::size_t b = a + 1; b < images.size(); ++b) {
            if (images[a][offset] == images[b][offset]) {
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
                           const std::vector<Image>& images,
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
        throw std::length_error("too few bytes to take 50 distinct samples from");
    }
    return static_cast<std::int32_t>(*fallback);
}

void CheckTellsApart(const std::vector<PickedTable>& group) {
    const auto sameBytes = [](const SignatureEntry& x, const SignatureEntry& y) { return x.Expected == y.Expected; };
    for (std::size_t a = 0; a < group.size(); ++a) {
        for (std::size_t b = a + 1; b < group.size(); ++b) {
            if (std::equal(group[a].Entries.begin(), group[a].Entries.end(), group[b].Entries.begin(), sameBytes)) {
                throw PickError(group[b].FileIndex, group[b].Version,
                                "its samples cannot tell it from version " + std::to_string(group[a].Version),
                                group[a].Version);
            }
        }
    }
}

// The leading offsets of a size group: within the file, distinct, at most 50, the same for every version.
void CheckLeading(int fileIndex, const std::vector<const KnownBuild*>& group) {
    const std::vector<std::int32_t>& leading = group.front()->Leading;
    const auto size = static_cast<std::int64_t>(group.front()->Bytes.size());
    for (const KnownBuild* build : group) {
        if (build->Leading != leading) {
            throw PickError(fileIndex, build->Version,
                            "it has the size of version " + std::to_string(group.front()->Version) +
                                ", whose samples it shares, but other leading samples");
        }
    }
    if (leading.size() > static_cast<std::size_t>(kSignatureEntries)) {
        throw PickError(fileIndex, group.front()->Version, "more than 50 leading samples");
    }
    for (std::size_t i = 0; i < leading.size(); ++i) {
        if (leading[i] < 0 || leading[i] >= size) {
            throw PickError(fileIndex, group.front()->Version,
                            "leading sample " + std::to_string(leading[i]) + " lies outside the file");
        }
        if (std::find(leading.begin(), leading.begin() + static_cast<std::ptrdiff_t>(i), leading[i]) !=
            leading.begin() + static_cast<std::ptrdiff_t>(i)) {
            throw PickError(fileIndex, group.front()->Version,
                            "leading sample " + std::to_string(leading[i]) + " is given twice");
        }
    }
}

}  // namespace

std::vector<PickedTable> PickSignatureTables(std::span<const KnownFile> files) {
    std::vector<PickedTable> tables;
    for (const KnownFile& file : files) {
        const int fileIndex = file.FileIndex;
        // Versions grouped by size, groups in the order of their oldest version.
        std::vector<std::pair<std::size_t, std::vector<const KnownBuild*>>> groups;
        for (const KnownBuild& build : file.Builds) {
            const std::size_t size = build.Bytes.size();
            const auto group =
                std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.first == size; });
            if (group == groups.end()) {
                groups.push_back({size, {&build}});
            } else {
                group->second.push_back(&build);
            }
        }
        std::map<int, PickedTable> byVersion;
        for (const auto& [size, builds] : groups) {
            if (size == 0 || size > static_cast<std::size_t>(INT32_MAX)) {
                throw PickError(fileIndex, builds.front()->Version, "no table can sample a file of this size");
            }
            CheckLeading(fileIndex, builds);
            std::vector<Image> images;
            for (const KnownBuild* build : builds) {
                images.push_back(build->Bytes);
            }
            const std::vector<std::int32_t>& leading = builds.front()->Leading;
            const auto strata = static_cast<std::uint32_t>(kSignatureEntries - static_cast<int>(leading.size()));
            Random random(Random::Mix(kPickerSeed,
                                      static_cast<std::uint64_t>(fileIndex) << 32 | static_cast<std::uint32_t>(size)));
            // Offset 0 is only ever sampled as a leading header check.
            const auto span = static_cast<std::uint64_t>(size - 1);
            std::vector<std::int32_t> offsets;
            try {
                if (strata > span) {
                    throw std::length_error("too few bytes to take 50 distinct samples from");
                }
                for (std::uint32_t s = 0; s < strata; ++s) {
                    const auto low = static_cast<std::uint32_t>(1 + span * s / strata);
                    const auto high = static_cast<std::uint32_t>(1 + span * (s + 1) / strata);
                    offsets.push_back(PickInStratum(low, high, images, leading, random));
                }
            } catch (const std::length_error& error) {
                throw PickError(fileIndex, builds.front()->Version, error.what());
            }
            for (std::size_t i = offsets.size(); i > 1; --i) {
                std::swap(offsets[i - 1], offsets[random.Below(static_cast<std::uint32_t>(i))]);
            }
            offsets.insert(offsets.begin(), leading.begin(), leading.end());

            std::vector<PickedTable> group;
            for (std::size_t v = 0; v < builds.size(); ++v) {
                PickedTable table{fileIndex, builds[v]->Version, {}};
                for (std::size_t e = 0; e < offsets.size(); ++e) {
                    table.Entries[e] = {offsets[e], images[v][static_cast<std::size_t>(offsets[e])]};
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

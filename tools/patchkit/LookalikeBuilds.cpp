#include "tools/patchkit/LookalikeBuilds.h"

#include <string>

namespace patcher::patchkit {
namespace {

// How many offsets a message lists before it says how many more there are.
constexpr std::size_t kListedOffsets = 8;

std::string Listed(const std::vector<std::int32_t>& offsets, std::size_t total) {
    std::string text;
    for (const std::int32_t offset : offsets) {
        text += (text.empty() ? "" : ", ") + std::to_string(offset);
    }
    if (total > offsets.size()) {
        text += " and " + std::to_string(total - offsets.size()) + " more";
    }
    return text;
}

}  // namespace

void RefuseLookalikes(const PatchDescription& description,
                      const std::vector<LoadedFile>& files,
                      const std::vector<standin::PickedTable>& picked) {
    const auto samplesOf = [&](int fileIndex, int version) -> const SignatureTable* {
        for (const standin::PickedTable& table : picked) {
            if (table.FileIndex == fileIndex && table.Version == version) {
                return &table.Entries;
            }
        }
        return nullptr;
    };
    for (const LoadedFile& file : files) {
        for (std::size_t b = 0; b < file.Builds.size(); ++b) {
            const LoadedBuild& later = file.Builds[b];
            const SignatureTable* samples = samplesOf(file.Described->FileIndex, later.Described->Version);
            for (std::size_t a = 0; a < b && samples != nullptr; ++a) {
                const LoadedBuild& earlier = file.Builds[a];
                if (earlier.Bytes.size() != later.Bytes.size()) {
                    continue;
                }
                std::vector<std::int32_t> sampled;
                for (const SignatureEntry& sample : *samples) {
                    const auto at = static_cast<std::size_t>(sample.Offset);
                    if (earlier.Bytes[at] != later.Bytes[at]) {
                        sampled.push_back(sample.Offset);
                    }
                }
                if (sampled.size() < 2) {
                    RefuseLookalike(description, file, earlier, later, sampled);
                }
            }
        }
    }
}

void RefuseLookalike(const PatchDescription& description,
                     const LoadedFile& file,
                     const LoadedBuild& earlier,
                     const LoadedBuild& later,
                     const std::vector<std::int32_t>& sampled) {
    std::vector<std::int32_t> differing;
    std::size_t total = 0;
    for (std::size_t at = 0; at < later.Bytes.size(); ++at) {
        if (earlier.Bytes[at] != later.Bytes[at]) {
            if (differing.size() < kListedOffsets) {
                differing.push_back(static_cast<std::int32_t>(at));
            }
            ++total;
        }
    }
    const std::string pair = "file " + std::to_string(file.Described->FileIndex) + " versions " +
                             std::to_string(earlier.Described->Version) + " and " +
                             std::to_string(later.Described->Version) + ": " + PathOf(earlier) + " and " +
                             PathOf(later) + " (" + std::to_string(later.Bytes.size()) + " bytes each)";
    if (total == 0) {
        description.Refuse(later.Described->Line,
                           pair +
                               " are the same bytes: no samples can tell them apart; leave one of them out of the "
                               "description");
    }
    if (total == 1) {
        description.Refuse(later.Described->Line,
                           pair + " differ in one byte only, at offset " + std::to_string(differing.front()) +
                               ": one byte changed there (a damaged disk, another program) would turn either into "
                               "the other, so no samples tell them apart safely; leave one of them out of the "
                               "description");
    }
    const std::string where = " differ at " + std::to_string(total) + " offsets (" + Listed(differing, total) + ")";
    const std::string remedy = "; give two offsets where they differ as Leading samples of every build of " +
                               std::to_string(later.Bytes.size()) + " bytes";
    if (sampled.empty()) {
        description.Refuse(
            later.Described->Line,
            pair + where + ", but their samples take none of them: the patcher cannot tell them apart" + remedy);
    }
    description.Refuse(later.Described->Line,
                       pair + where + ", but their samples take only offset " + std::to_string(sampled.front()) +
                           ": one byte changed there (a damaged disk, another program) would turn either into "
                           "the other" +
                           remedy);
}

}  // namespace patcher::patchkit

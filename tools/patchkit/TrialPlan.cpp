#include "tools/patchkit/TrialPlan.h"

#include <algorithm>
#include <stdexcept>

#include "profile/ProductProfile.h"
#include "tables/Crc32.h"

namespace patcher::patchkit {
namespace {

bool IsWhatThePatcherBrings(const PatchTables& tables, const ReleaseBuild& build) {
    const ContentDigest* digest = tables.NewContentDigest(build.FileIndex);
    return digest != nullptr && build.Bytes.size() == static_cast<std::size_t>(digest->Size) &&
           Crc32(build.Bytes) == digest->Crc32;
}

// The release's builds of one file and number, each content once.
std::vector<const ReleaseBuild*> DistinctBuilds(const std::vector<ReleaseBuild>& release, int fileIndex, int number) {
    std::vector<const ReleaseBuild*> found;
    for (const ReleaseBuild& build : release) {
        if (build.FileIndex != fileIndex || build.Build != number) {
            continue;
        }
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const ReleaseBuild* earlier) { return earlier->Bytes == build.Bytes; });
        if (!seen) {
            found.push_back(&build);
        }
    }
    return found;
}

}  // namespace

bool CreatesWhenMissing(const PatchTables& tables, int fileIndex) {
    return tables.NewestVersion(fileIndex) == 1;
}

TrialPlan PlanTrial(const PatchTables& tables, const std::vector<ReleaseBuild>& release) {
    TrialPlan plan;
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        if (!tables.Selects(fileIndex)) {
            continue;
        }
        const ReleaseBuild* newest = nullptr;
        for (const ReleaseBuild* build : DistinctBuilds(release, fileIndex, tables.NewestVersion(fileIndex))) {
            if (!IsWhatThePatcherBrings(tables, *build)) {
                plan.Mismatched.push_back(build);
            } else if (newest == nullptr) {
                newest = build;
            }
        }
        if (newest == nullptr) {
            throw std::runtime_error("the release holds no " + std::string(FileName(fileIndex)) + " of build " +
                                     std::to_string(tables.NewestVersion(fileIndex)) +
                                     " as this patcher brings it, so no case can be installed or checked");
        }
        plan.Selected.push_back(fileIndex);
        plan.Newest.push_back(newest);
    }
    for (const int fileIndex : plan.Selected) {
        for (const KnownVersion& version : tables.Versions(fileIndex)) {
            if (version.Number == tables.NewestVersion(fileIndex)) {
                continue;
            }
            const std::vector<const ReleaseBuild*> builds = DistinctBuilds(release, fileIndex, version.Number);
            if (builds.empty()) {
                plan.Untried.push_back({fileIndex, version.Number});
            }
            for (const ReleaseBuild* tried : builds) {
                TrialCase trialCase{tried, {}};
                for (std::size_t i = 0; i < plan.Selected.size(); ++i) {
                    const int other = plan.Selected[i];
                    trialCase.Files.push_back({other, other == fileIndex                  ? tried
                                                      : CreatesWhenMissing(tables, other) ? nullptr
                                                                                          : plan.Newest[i]});
                }
                plan.Cases.push_back(std::move(trialCase));
            }
        }
    }
    return plan;
}

}  // namespace patcher::patchkit

#include "tools/patchkit/ShippedGuard.h"

#include <algorithm>
#include <stdexcept>

#include "engine/untPatcher.h"
#include "tools/patchkit/BytesRecognition.h"
#include "tools/patchkit/DerivedTables.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherInspection.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

bool SamplesMatch(const KnownVersion& version, std::span<const std::uint8_t> bytes) {
    return std::all_of(version.Samples.begin(), version.Samples.end(), [&](const SignatureEntry& sample) {
        return static_cast<std::size_t>(sample.Offset) < bytes.size() &&
               bytes[static_cast<std::size_t>(sample.Offset)] == sample.Expected;
    });
}

// Whether the shipped patcher was made with this very build: one of its builds of that file has its size and
// bytes, or, where its bytes are not at hand, its number, size and samples (a build keeps its number for good).
bool Knows(const ShippedPatcher& shipped, int fileIndex, const LoadedBuild& build) {
    for (const KnownVersion& version : shipped.Tables.Versions(fileIndex)) {
        if (static_cast<std::size_t>(version.Size) != build.Bytes.size()) {
            continue;
        }
        const auto bytes = shipped.Builds.find({fileIndex, version.Number});
        if (bytes != shipped.Builds.end()
                ? bytes->second == build.Bytes
                : version.Number == build.Described->Version && SamplesMatch(version, build.Bytes)) {
            return true;
        }
    }
    return false;
}

std::string SampledOffsets(const KnownVersion& version) {
    std::vector<std::int32_t> offsets;
    for (const SignatureEntry& sample : version.Samples) {
        offsets.push_back(sample.Offset);
    }
    std::sort(offsets.begin(), offsets.end());
    std::string text;
    for (const std::int32_t offset : offsets) {
        text += (text.empty() ? "" : ", ") + std::to_string(offset);
    }
    return text;
}

}  // namespace

ShippedPatcher ShippedPatcherFromExe(const std::filesystem::path& path) {
    return {Quoted(Utf8Of(path)), ReadPatcherTables(path), {}};
}

ShippedPatcher ShippedPatcherFromDescription(const std::string& descriptionPath,
                                             const std::filesystem::path& releaseDir) {
    const PatchDescription description = ReadPatchDescription(descriptionPath);
    BuildFigures figures;
    std::vector<LoadedFile> files = ReadRelease(description, releaseDir, figures);
    CheckBuilds(description, files);
    ShippedPatcher shipped{"made from " + Quoted(descriptionPath),
                           DerivePatchTables(description, files, PickTables(description, files)),
                           {}};
    for (LoadedFile& file : files) {
        for (LoadedBuild& build : file.Builds) {
            shipped.Builds[{file.Described->FileIndex, build.Described->Version}] = std::move(build.Bytes);
        }
    }
    return shipped;
}

void RefuseDowngrades(const PatchDescription& description,
                      const std::vector<LoadedFile>& files,
                      std::span<const ShippedPatcher> shipped) {
    for (const ShippedPatcher& patcher : shipped) {
        for (const LoadedFile& file : files) {
            const int fileIndex = file.Described->FileIndex;
            if (!patcher.Tables.Selects(fileIndex)) {
                continue;  // it never rewrites that file
            }
            for (const LoadedBuild& build : file.Builds) {
                if (Knows(patcher, fileIndex, build)) {
                    continue;
                }
                const Recognition taken = RecogniseBytes(patcher.Tables, fileIndex, build.Bytes);
                if (taken.Result != CheckResult::OutOfDate) {
                    continue;
                }
                const KnownVersion& older = *patcher.Tables.FindVersion(fileIndex, taken.Version);
                const std::string number = std::to_string(build.Described->Version);
                const std::string olderNumber = std::to_string(older.Number);
                description.Refuse(build.Described->Line,
                                   Label(file, build) + PathOf(build) + " is no build that the shipped patcher " +
                                       patcher.Name + " knows, yet it would take it for its version " + olderNumber +
                                       " (the same " + std::to_string(older.Size) +
                                       " bytes, all 50 samples alike) and overwrite it with its newest, "
                                       "version " +
                                       std::to_string(patcher.Tables.NewestVersion(fileIndex)) + "; give version " +
                                       number + " another size, or other bytes than version " + olderNumber +
                                       " has at one of the offsets that it samples: " + SampledOffsets(older));
            }
        }
    }
}

ShippedSources TakeShippedOptions(Arguments& arguments) {
    ShippedSources sources;
    Arguments rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--shipped") {
            if (arguments.size() - i < 2) {
                throw UsageError{"--shipped takes a shipped patcher exe"};
            }
            sources.Patchers.push_back(arguments[i + 1]);
            i += 1;
        } else if (arguments[i] == "--shipped-description") {
            if (arguments.size() - i < 3) {
                throw UsageError{"--shipped-description takes a shipped patcher's description and its release folder"};
            }
            sources.Descriptions.emplace_back(arguments[i + 1], arguments[i + 2]);
            i += 2;
        } else {
            rest.push_back(arguments[i]);
        }
    }
    arguments = std::move(rest);
    return sources;
}

std::vector<ShippedPatcher> LoadShippedPatchers(const ShippedSources& sources) {
    std::vector<ShippedPatcher> shipped;
    for (const std::string& patcher : sources.Patchers) {
        shipped.push_back(ShippedPatcherFromExe(PathFromUtf8(patcher)));
    }
    for (const auto& [description, release] : sources.Descriptions) {
        shipped.push_back(ShippedPatcherFromDescription(description, PathFromUtf8(release)));
    }
    return shipped;
}

}  // namespace patcher::patchkit

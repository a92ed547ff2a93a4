#include "tools/patchkit/ReleaseFiles.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

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

}  // namespace

std::string Label(const LoadedFile& file, const LoadedBuild& build) {
    return "file " + std::to_string(file.Described->FileIndex) + " version " +
           std::to_string(build.Described->Version) + ": ";
}

std::string PathOf(const LoadedBuild& build) {
    return Quoted(build.Described->Path);
}

const LoadedFile& FileOf(const std::vector<LoadedFile>& files, int fileIndex) {
    return *std::find_if(files.begin(), files.end(),
                         [&](const LoadedFile& f) { return f.Described->FileIndex == fileIndex; });
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
                description.Refuse(build.Line,
                                   Label(file, loaded) + PathOf(loaded) + " cannot be read (" + failure.what() + ")");
            }
            if (loaded.Bytes.empty()) {
                description.Refuse(build.Line, Label(file, loaded) + PathOf(loaded) +
                                                   " is empty, and an empty file is never recognised");
            }
            ++figures.FilesRead;
            figures.BytesRead += loaded.Bytes.size();
            file.Builds.push_back(std::move(loaded));
        }
        files.push_back(std::move(file));
    }
    return files;
}

void CheckBuilds(const PatchDescription& description, const std::vector<LoadedFile>& files) {
    for (const LoadedFile& file : files) {
        for (std::size_t b = 0; b < file.Builds.size(); ++b) {
            const LoadedBuild& build = file.Builds[b];
            const DescribedBuild& described = *build.Described;
            for (std::size_t i = 0; i < described.Leading.size(); ++i) {
                if (static_cast<std::size_t>(described.Leading[i]) >= build.Bytes.size()) {
                    description.Refuse(described.LeadingLines[i],
                                       Label(file, build) + "leading sample " + std::to_string(described.Leading[i]) +
                                           " lies beyond the " + std::to_string(build.Bytes.size()) + " bytes of " +
                                           PathOf(build));
                }
            }
            for (std::size_t a = 0; a < b; ++a) {
                const LoadedBuild& earlier = file.Builds[a];
                if (earlier.Bytes.size() != build.Bytes.size()) {
                    continue;
                }
                const std::string other = "version " + std::to_string(earlier.Described->Version);
                if (earlier.Bytes == build.Bytes) {
                    description.Refuse(described.Line, Label(file, build) + PathOf(build) +
                                                           " has the same size and bytes as " + other +
                                                           ": no samples can tell them apart");
                }
                if (earlier.Described->Leading != described.Leading) {
                    description.Refuse(described.Line,
                                       Label(file, build) + "it has the size of " + other +
                                           ", whose samples it shares, and must lead with the same ones");
                }
            }
        }
    }
}

}  // namespace patcher::patchkit

#include "tools/patchkit/ReleaseFiles.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/ReleaseFolder.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

std::unique_ptr<ReleaseFolder> OpenRelease(const std::filesystem::path& folder) {
    try {
        return OpenReleaseFolder(folder);
    } catch (const ReadError& failure) {
        throw std::runtime_error("the release folder " + Quoted(Utf8Of(folder)) + " cannot be read (" + failure.what() +
                                 ")");
    }
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
    const std::unique_ptr<ReleaseFolder> release = OpenRelease(releaseFolder);
    std::vector<LoadedFile> files;
    for (const DescribedFile& described : description.Files) {
        LoadedFile file{&described, {}};
        for (const DescribedBuild& build : described.Builds) {
            LoadedBuild loaded{&build, {}};
            try {
                loaded.Bytes =
                    release->Read(build.Path, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()),
                                  "that a version table can hold");
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

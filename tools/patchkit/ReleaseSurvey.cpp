#include "tools/patchkit/ReleaseSurvey.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "profile/ProductProfile.h"
#include "tools/patchkit/BytesRecognition.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/ReleaseFolder.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;

bool SameNameAnyCase(const std::string& a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The selected file that a file of this name would be.
std::optional<int> SelectedFileNamed(const PatchTables& tables, const std::string& name) {
    for (int fileIndex = 1; fileIndex <= kFileCount; ++fileIndex) {
        if (tables.Selects(fileIndex) && SameNameAnyCase(name, FileName(fileIndex))) {
            return fileIndex;
        }
    }
    return std::nullopt;
}

bool SomeBuildHasSize(const PatchTables& tables, int fileIndex, std::uintmax_t size) {
    const auto versions = tables.Versions(fileIndex);
    return std::any_of(versions.begin(), versions.end(),
                       [&](const KnownVersion& version) { return static_cast<std::uintmax_t>(version.Size) == size; });
}

std::uint64_t LargestBuild(const PatchTables& tables, int fileIndex) {
    std::uint64_t largest = 0;
    for (const KnownVersion& version : tables.Versions(fileIndex)) {
        largest = std::max<std::uint64_t>(largest, static_cast<std::uint64_t>(version.Size));
    }
    return largest;
}

// The paths below the folder of every file (and whatever else is no folder) named as a selected file, sorted.
std::vector<std::string> Candidates(const fs::path& folder, const PatchTables& tables) {
    std::vector<std::string> paths;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::directory_entry& entry = *walk;
        std::error_code ignored;
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            continue;
        }
        if (SelectedFileNamed(tables, Utf8Of(entry.path().filename()))) {
            const std::u8string relative = entry.path().lexically_relative(folder).generic_u8string();
            paths.push_back(std::string(relative.begin(), relative.end()));
        }
    }
    if (error) {
        throw std::runtime_error("the release folder " + Quoted(Utf8Of(folder)) + " cannot be read whole (" +
                                 error.message() + ")");
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace

ReleaseSurvey SurveyRelease(const fs::path& folder, const PatchTables& tables) {
    std::unique_ptr<ReleaseFolder> release;
    try {
        release = OpenReleaseFolder(folder);
    } catch (const ReadError& error) {
        throw std::runtime_error("the release folder " + Quoted(Utf8Of(folder)) + " cannot be read (" + error.what() +
                                 ")");
    }
    ReleaseSurvey survey;
    for (const std::string& path : Candidates(folder, tables)) {
        const int fileIndex = *SelectedFileNamed(tables, Utf8Of(PathFromUtf8(path).filename()));
        // The size that the walk saw spares reading files that no build could be; what is read is what counts.
        std::error_code sizeError;
        const std::uintmax_t size = fs::file_size(folder / PathFromUtf8(path), sizeError);
        if (!sizeError && !SomeBuildHasSize(tables, fileIndex, size)) {
            ++survey.Unrecognised;
            continue;
        }
        ReleaseBuild build{fileIndex, 0, path, {}};
        try {
            build.Bytes = release->Read(path, LargestBuild(tables, fileIndex), "bytes of its largest known build");
        } catch (const ReadError& error) {
            survey.LeftOut.push_back(Shown(path) + " cannot be read (" + error.what() + ")");
            continue;
        }
        const Recognition recognition = RecogniseBytes(tables, fileIndex, build.Bytes);
        if (recognition.Result != CheckResult::Current && recognition.Result != CheckResult::OutOfDate) {
            ++survey.Unrecognised;
            continue;
        }
        build.Build = recognition.Version;
        survey.Builds.push_back(std::move(build));
    }
    return survey;
}

}  // namespace patcher::patchkit

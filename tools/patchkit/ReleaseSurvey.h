#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tables/PatchTables.h"
#include "tools/patchkit/TrialPlan.h"

namespace patcher::patchkit {

// What a release folder of any layout holds of the files that a patcher selects, as its tables recognise them.
struct ReleaseSurvey {
    std::vector<ReleaseBuild> Builds;  // by path
    std::vector<std::string> LeftOut;  // "PATH cannot be read (WHY)": files of such a name that could not be read
    int Unrecognised = 0;              // files of such a name that no build the patcher knows matches
};

// Walks the release folder (not through links to folders) and recognises every file named as a selected file
// is (letter case aside) by the tables; a file of a size that no build of that file has is not read. Each file is
// read as the patch build reads a release (ReleaseFolder): opened relative to the folder, through no link that
// leads out of it, a regular file only. Throws std::runtime_error where the folder itself cannot be read.
ReleaseSurvey SurveyRelease(const std::filesystem::path& folder, const PatchTables& tables);

}  // namespace patcher::patchkit

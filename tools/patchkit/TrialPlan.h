#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tables/PatchTables.h"

namespace patcher::patchkit {

// The cases of a patcher's trial, planned from its tables and the builds that a release holds, on any host.

// A file of the release that the patcher's tables recognise as one of its builds.
struct ReleaseBuild {
    int FileIndex = 0;
    int Build = 0;     // the number that the tables recognise it as
    std::string Path;  // relative to the release folder, its parts joined by '/'
    std::vector<std::uint8_t> Bytes;
};

// What one case puts into the product's folder for one selected file: a build of the release, or nothing, where
// the patcher is to create the file.
struct CaseFile {
    int FileIndex = 0;
    const ReleaseBuild* Build = nullptr;
};

// One older build of one selected file installed, the other selected files at their newest or absent.
struct TrialCase {
    const ReleaseBuild* Tried = nullptr;
    std::vector<CaseFile> Files;  // every selected file, in index order
};

// A build that the patcher knows, older than its newest, of which the release holds no file.
struct UntriedBuild {
    int FileIndex = 0;
    int Build = 0;
};

// The plan refers to builds of the release that it was made from, which must outlive it.
struct TrialPlan {
    std::vector<int> Selected;                    // the selected files, in index order
    std::vector<const ReleaseBuild*> Newest;      // each selected file's newest build, in the same order
    std::vector<TrialCase> Cases;                 // by file, build and path
    std::vector<UntriedBuild> Untried;            // by file and build
    std::vector<const ReleaseBuild*> Mismatched;  // recognised as a newest build, yet not what the patcher brings
};

// Whether the patcher creates a selected file that is missing: one whose newest build is its first, as the
// update run assesses it.
bool CreatesWhenMissing(const PatchTables& tables, int fileIndex);

// One case for each older build of each selected file that the release holds, with every distinct content of
// it (the same bytes found twice make one case, under the first path in `release`'s order). The newest build of
// a file is the release's file that the tables recognise as it and whose size and CRC-32 are the digest of the
// content that the patcher brings. Throws std::runtime_error where the release holds no newest build of a
// selected file: without it nothing can be installed or compared.
TrialPlan PlanTrial(const PatchTables& tables, const std::vector<ReleaseBuild>& release);

}  // namespace patcher::patchkit

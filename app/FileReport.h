#pragma once

#include <chrono>

#include "engine/FileFailure.h"
#include "engine/untPatcher.h"

namespace patcher {

// What became of one selected file.
enum class FileState {
    Current,        // already the newest build: left alone
    Updated,        // an older build, rewritten
    Created,        // absent, and made
    NeedsUpdate,    // (check) an older build that the patcher can rewrite
    NeedsCreating,  // (check) absent, and one that the patcher makes
    NotFound,       // absent, and not one that the patcher may make
    UnknownBuild,   // no known build matches
    Unreadable,     // could not be read
    NotRewritten,   // an older build or an absent one, whose rewrite failed
    // an older build or an absent one that another program changed (or made, or deleted) after it was
    // recognised: left alone
    ChangedMeanwhile,
};

struct FileReport {
    FileState State = FileState::Current;
    int Build = 0;             // the build found (Current, Updated, NeedsUpdate, NotRewritten of an older build)
    int NewBuild = 0;          // the build that the patcher makes
    FileFailure Failure = {};  // why, for Unreadable and NotRewritten
    std::chrono::milliseconds Waited{0};  // how long the file was waited for while another program held it
    FoundTarget Now = {};                 // ChangedMeanwhile: what the file held when its turn came
};

}  // namespace patcher

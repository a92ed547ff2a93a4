#pragma once

#include <cstdint>

#include "common/ByteString.h"
#include "platform/FileSystem.h"

namespace patcher {

// Which build of a product file lies on disk.
enum class CheckResult : std::int32_t {
    Current = 0,        // the newest version: nothing to do
    OutOfDate = 1,      // an older known version: to be rewritten
    NotRecognised = 2,  // no known version matches in size and samples (an empty file included)
    Unreadable = 3,     // opening, sizing, positioning or reading failed
};

const char* CheckResultName(CheckResult result);

struct Recognition {
    CheckResult Result = CheckResult::NotRecognised;
    int Version = 0;  // the matching version for Current and OutOfDate, else 0
};

// Recognises the build of file fileIndex (1..12) at path by its exact size and the 50 samples of each known
// version, lowest version first. The file is only read, never whole, and closed on every path.
Recognition IdentifyFileVersion(int fileIndex, ByteStringView path, FileSystem& files);

inline CheckResult RecogniseFileVersion(int fileIndex, ByteStringView path, FileSystem& files) {
    return IdentifyFileVersion(fileIndex, path, files).Result;
}

}  // namespace patcher

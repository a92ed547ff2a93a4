#include <cstdio>
#include <stdexcept>
#include <string>

#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "platform/FileSystem.h"
#include "tools/patchkit/Commands.h"

namespace patcher::patchkit {

int RunRecognise(const Arguments& arguments) {
    if (arguments.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(arguments[0]);
    const Recognition recognition = IdentifyFileVersion(fileIndex, arguments[1], SystemFileSystem());
    if (recognition.Version != 0) {
        std::printf("%s %d\n", CheckResultName(recognition.Result), recognition.Version);
    } else {
        std::printf("%s\n", CheckResultName(recognition.Result));
    }
    return 0;
}

}  // namespace patcher::patchkit

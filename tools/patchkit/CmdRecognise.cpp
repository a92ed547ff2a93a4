#include <cstdio>
#include <stdexcept>
#include <string>

#include "engine/PatchTablesFormat.h"
#include "engine/untPatcher.h"
#include "platform/DirectoryResourceStore.h"
#include "platform/FileSystem.h"
#include "tools/patchkit/Commands.h"

namespace patcher::patchkit {

// Recognises a file as the patcher of this build does, by the tables of the build's data (PATCHER_PACKED_DIR).
int RunRecognise(const Arguments& arguments) {
    if (arguments.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(arguments[0]);
    DirectoryResourceStore data(PATCHER_PACKED_DIR);
    const PatchTables tables = LoadPatchTables(data);
    const Recognition recognition = IdentifyFileVersion(fileIndex, arguments[1], SystemFileSystem(), tables);
    if (recognition.Version != 0) {
        std::printf("%s %d\n", CheckResultName(recognition.Result), recognition.Version);
    } else {
        std::printf("%s\n", CheckResultName(recognition.Result));
    }
    return 0;
}

}  // namespace patcher::patchkit

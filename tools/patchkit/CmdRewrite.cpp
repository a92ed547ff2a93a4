#include <cstdio>
#include <string>

#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "platform/DirectoryResourceStore.h"
#include "platform/FileSystem.h"
#include "tools/patchkit/Commands.h"

namespace patcher::patchkit {

// Runs the patcher's own rewrite of a file on this host, with the packed data of the build (made by
// `patchkit build`; PATCHER_PACKED_DIR names where the build keeps it).
int RunRewrite(const Arguments& arguments) {
    Arguments rest = arguments;
    std::string data = PATCHER_PACKED_DIR;
    if (rest.size() == 4 && rest[0] == "--data") {
        data = rest[1];
        rest.erase(rest.begin(), rest.begin() + 2);
    }
    if (rest.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(rest[0]);
    DirectoryResourceStore resources(data);
    DecoderState decoder;
    // The file found there, whatever its build, is what is replaced.
    FileSystem& files = SystemFileSystem();
    FoundTarget found;
    if (files.LookUpFile(rest[1]).Is != Presence::Absent) {
        found = {.Exists = true, .Version = IdentifyFileVersion(fileIndex, rest[1], files).Version};
    }
    const bool rewritten = RewriteFile(fileIndex, rest[1], found, {files, resources, decoder}).Ok;
    std::printf("%s\n", rewritten ? "true" : "false");
    return 0;
}

}  // namespace patcher::patchkit

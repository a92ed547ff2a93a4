#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherFile.h"
#include "tools/patchkit/PatcherFileLayer.h"

namespace patcher::patchkit {

// Runs the patcher's own rewrite of a file on this host, with the tables and packed data of a patcher (the
// build's own English one unless --patcher names another).
int RunRewrite(const Arguments& arguments) {
    Arguments rest = arguments;
    const std::filesystem::path patcher = TakePatcherOption(rest);
    if (rest.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(rest[0]);
    OpenedPatcher opened = OpenPatcher(patcher);
    InstallPatchTables(std::move(opened.Tables));
    pe::PeResourceStore& resources = *opened.Resources;
    DecoderState decoder;
    const ByteString path = PatcherFilePath(rest[1]);
    // The file found there, whatever its build, is what is replaced.
    FileSystem& files = SystemFileSystem();
    FoundTarget found;
    if (files.LookUpFile(path).Is != Presence::Absent) {
        found = {.Exists = true, .Version = IdentifyFileVersion(fileIndex, path, files).Version};
    }
    const bool rewritten = RewriteFile(fileIndex, path, found, {files, resources, decoder}).Ok;
    std::printf("%s\n", rewritten ? "true" : "false");
    return 0;
}

}  // namespace patcher::patchkit

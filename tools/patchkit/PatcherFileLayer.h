#pragma once

#include <string>

#include "common/ByteString.h"

namespace patcher::patchkit {

// The commands that run the patcher's own code over a file of this host (recognise, rewrite) reach it through
// the patcher's own file layer (platform/FileSystem.h), which names files as the patcher does.

// A path from the command line as that layer names it: the same bytes on Linux; on Windows in the ANSI code
// page, which its A functions read (so, as there, no longer than MAX_PATH). Throws std::runtime_error for a
// path that the code page cannot name.
ByteString PatcherFilePath(const std::string& path);

// Why that layer could not read the file at `path`, from the system's error number that it gave.
std::string PatcherReadFailure(const std::string& path, unsigned long systemCode);

}  // namespace patcher::patchkit

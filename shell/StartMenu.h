#pragma once

#include "common/ByteString.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

namespace patcher {

// The full path of the current user's Start-menu Programs folder, as the current user's "Shell Folders" key
// records it (an expandable string stays unexpanded), or empty when it cannot be read. Never throws.
ByteString ReadProgramsFolder(Registry& registry) noexcept;

// Writes a shell link at linkPath to target, whose working directory is the target's directory (with its
// final separator). True when the link was written; false on any failure, whose system error number (0 where
// it had none) goes to `failure` when given. Never throws.
bool CreateShellLink(ByteStringView target,
                     ByteStringView linkPath,
                     Shell& shell,
                     unsigned long* failure = nullptr) noexcept;

// The directory part of path, up to and including its last path separator or drive colon; empty when there
// is none.
ByteString DirectoryPart(ByteStringView path);

// directory and name joined by exactly one path separator: none is added when directory already ends in one.
ByteString JoinPath(ByteStringView directory, ByteStringView name);

}  // namespace patcher

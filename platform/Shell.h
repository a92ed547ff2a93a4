#pragma once

#include "common/ByteString.h"

namespace patcher {

// The shell services that placing Start-menu shortcuts needs beyond the file system. Paths are Windows-1250
// byte strings.
class Shell {
  public:
    virtual ~Shell() = default;

    // Deletes a file. Throws PlatformError when it cannot.
    virtual void RemoveFile(ByteStringView path) = 0;

    // Writes a shell link at linkPath to target, with the given working directory and nothing else; an
    // existing file of that name is overwritten. Throws PlatformError when the link object cannot be made,
    // refuses the target or the working directory, or cannot be saved. The component system must already be
    // initialised on the calling thread as a single-threaded apartment.
    virtual void WriteShellLink(ByteStringView linkPath, ByteStringView target, ByteStringView workingDirectory) = 0;
};

// The shell of the machine the program runs on (Windows builds only).
Shell& SystemShell();

}  // namespace patcher

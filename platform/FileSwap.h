#pragma once

#include "common/ByteString.h"

namespace patcher {

// The system calls that swap a new file into the place of an old one on Windows. Each answers the system's
// error code, 0 for success, so that what is done after a refusal can be followed and tested anywhere.
class SwapCalls {
  public:
    virtual ~SwapCalls() = default;

    // Whether anything exists at path (GetFileAttributesA).
    virtual bool Exists(const ByteString& path) = 0;
    // Whether the file at path is marked read-only (GetFileAttributesA); false where that cannot be told.
    virtual bool IsReadOnly(const ByteString& path) = 0;
    // Replaces target by replacement, the target's old file going to backup (ReplaceFileA). On
    // kUnableToMoveReplacement2 the old file is under backup already and target names nothing.
    virtual unsigned long Replace(const ByteString& target,
                                  const ByteString& replacement,
                                  const ByteString& backup) = 0;
    // Renames from to to, over an existing file only when replaceExisting is set (MoveFileExA).
    virtual unsigned long Move(const ByteString& from, const ByteString& to, bool replaceExisting) = 0;
    virtual unsigned long Delete(const ByteString& path) = 0;
    // Has the system delete the file when it next starts (MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT).
    virtual unsigned long DeleteAtRestart(const ByteString& path) = 0;
};

// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the replaced file went to the backup name, the replacement stayed.
inline constexpr unsigned long kUnableToMoveReplacement2 = 1177;

// Puts the closed file `replacement` in the place of `target`, through `backup`, a free name beside them.
// Returns when the target holds the new file; the old one is then deleted, or left for deletion at the next
// start where a running program holds it, or, failing even that, left under the backup name. Throws
// PlatformError when the target still holds its old file (or is still absent): FileInUseError where that is
// because another program holds a file for now, or because access to a target that is not read-only was
// denied (a virus scanner holds a file it looks at so); ReadOnlyFileError where the target is read-only. The
// replacement is then the caller's to delete. Throws
// ReplacementKeptError when neither file could be put in the target's place.
void SwapIntoPlace(SwapCalls& calls, const ByteString& target, const ByteString& replacement, const ByteString& backup);

}  // namespace patcher

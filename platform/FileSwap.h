#pragma once

namespace patcher {

// The system calls that put a new file in the place of a held one on Windows (ReplaceableFile::ReplaceWith).
// Each answers the system's error code, 0 for success, so that what is done after a refusal can be followed
// and tested anywhere.
class SwapCalls {
  public:
    virtual ~SwapCalls() = default;

    // Reads the target's attributes through our hold (GetFileInformationByHandle) and gives them to the
    // replacement (SetFileAttributesW), unless the target is read-only: `readOnly` says so, and nothing is
    // changed.
    virtual unsigned long TakeTargetAttributes(bool& readOnly) = 0;
    // Renames the replacement over the target in one step (MoveFileExW, MOVEFILE_REPLACE_EXISTING and
    // MOVEFILE_WRITE_THROUGH).
    virtual unsigned long RenameOverTarget() = 0;
    // Ends our hold of the target: closes its handle.
    virtual void ReleaseHold() = 0;
    // Opens the target for writing, letting others do anything, and closes it again: a file that another
    // program has open without letting others write (a running program's file among them) answers a
    // sharing violation, one that the account may not write answers access denied.
    virtual unsigned long OpenTargetForWriting() = 0;
};

// Puts the replacement in the place of the held target in one step (ReplaceableFile::ReplaceWith); on
// failure, the target is as it was. Throws ReadOnlyFileError for a read-only target (nothing is tried),
// FileInUseError where another program has the target or the replacement open, PlatformError (access denied,
// 5) where the account may not replace the target, and PlatformError for every other refusal.
void SwapIntoPlace(SwapCalls& calls);

}  // namespace patcher

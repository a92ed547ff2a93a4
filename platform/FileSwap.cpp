#include "platform/FileSwap.h"

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

namespace patcher {
namespace {

void Check(unsigned long error, const char* operation) {
    if (error != 0) {
        throw PlatformError(operation, error);
    }
}

// The old program may be running: its file can be renamed but not deleted, and the system deletes it for us
// at the next start if we may ask that. Where we may not, the backup stays; the swap is done all the same.
void DiscardBackup(SwapCalls& calls, const ByteString& backup) {
    if (calls.Delete(backup) != 0) {
        calls.DeleteAtRestart(backup);
    }
}

}  // namespace

void SwapIntoPlace(SwapCalls& calls,
                   const ByteString& target,
                   const ByteString& replacement,
                   const ByteString& backup) {
    if (!calls.Exists(target)) {
        Check(calls.Move(replacement, target, true), "MoveFileExA");
        return;
    }
    const unsigned long error = calls.Replace(target, replacement, backup);
    if (error == 0) {
        DiscardBackup(calls, backup);
        return;
    }
    if (error != kUnableToMoveReplacement2) {
        throw PlatformError("ReplaceFileA", error);
    }
    // The old file lies under the backup name and the target's name is free. It must not stay free: the next
    // run would find the product file missing. The old file goes back if it can, else the new one takes the
    // place and the swap has succeeded after all.
    if (calls.Move(backup, target, false) == 0) {
        throw PlatformError("ReplaceFileA", error);
    }
    if (calls.Move(replacement, target, false) == 0) {
        DiscardBackup(calls, backup);
        return;
    }
    throw ReplacementKeptError("ReplaceFileA, then MoveFileExA of either file", error);
}

}  // namespace patcher

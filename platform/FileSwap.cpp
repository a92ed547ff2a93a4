#include "platform/FileSwap.h"

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

namespace patcher {
namespace {

// ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, and ERROR_UNABLE_TO_REMOVE_REPLACED (the target is open in
// another program): both files are then as they were, and the same call may succeed a moment later.
constexpr unsigned long kAccessDenied = 5;

bool IsInUse(unsigned long error) {
    return error == 32 || error == 33 || error == 1175;
}

[[noreturn]] void Throw(unsigned long error, const char* operation) {
    if (IsInUse(error)) {
        throw FileInUseError(operation, error);
    }
    throw PlatformError(operation, error);
}

void Check(unsigned long error, const char* operation) {
    if (error != 0) {
        Throw(error, operation);
    }
}

// Access to an existing target is denied for good only where it is read-only; otherwise another program
// (a virus scanner, most often) has it open for now.
[[noreturn]] void ThrowReplaceError(SwapCalls& calls, const ByteString& target, unsigned long error) {
    if (error == kAccessDenied) {
        if (calls.IsReadOnly(target)) {
            throw ReadOnlyFileError("ReplaceFileA of a read-only file", error);
        }
        throw FileInUseError("ReplaceFileA", error);
    }
    Throw(error, "ReplaceFileA");
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
        ThrowReplaceError(calls, target, error);
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

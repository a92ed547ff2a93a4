#include "platform/FileSwap.h"

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

namespace patcher {
namespace {

constexpr unsigned long kAccessDenied = 5;

// ERROR_SHARING_VIOLATION and ERROR_LOCK_VIOLATION: another program has the file open for now; the same
// call may succeed a moment later.
bool IsInUse(unsigned long error) {
    return error == 32 || error == 33;
}

[[noreturn]] void Throw(unsigned long error, const char* operation) {
    if (IsInUse(error)) {
        throw FileInUseError(operation, error);
    }
    throw PlatformError(operation, error);
}

// Windows refuses to rename over a file with access denied both where another program has it open (a running
// program's file, whose image is mapped) and where the account may not replace it (a rule that denies it):
// opening the file for writing tells the two apart, as a held file answers that with a sharing violation.
[[noreturn]] void ThrowRefusal(SwapCalls& calls) {
    const unsigned long writing = calls.OpenTargetForWriting();
    if (IsInUse(writing)) {
        throw FileInUseError("MoveFileExW over a file that another program has open", writing);
    }
    throw PlatformError("MoveFileExW", kAccessDenied);
}

}  // namespace

void SwapIntoPlace(SwapCalls& calls) {
    bool readOnly = false;
    if (const unsigned long error = calls.TakeTargetAttributes(readOnly); error != 0) {
        Throw(error, "the target's attributes");
    }
    // Refused at once: the system would refuse the rename anyway, except to an administrator on some systems.
    if (readOnly) {
        throw ReadOnlyFileError("MoveFileExW over a read-only file", kAccessDenied);
    }
    unsigned long error = calls.RenameOverTarget();
    if (error == kAccessDenied) {
        // Windows renames over a file held by a handle that lets others delete it, as ours does; Wine refuses to
        // rename over any file that is held open, ours included. Where the refusal may be for our own hold, the
        // swap is made without it at once: the target can then change unseen only in that moment.
        calls.ReleaseHold();
        error = calls.RenameOverTarget();
    }
    if (error == kAccessDenied) {
        ThrowRefusal(calls);
    }
    if (error != 0) {
        Throw(error, "MoveFileExW");
    }
}

}  // namespace patcher

#pragma once

#include <chrono>

#include "platform/FileSystem.h"

namespace patcher {

// Waits between attempts at a file that another program holds for a moment.
class LockWait {
  public:
    virtual ~LockWait() = default;

    // Waits about this long, keeping whatever must stay responsive meanwhile (the window) responsive.
    virtual void Pause(std::chrono::milliseconds pause) = 0;
};

inline constexpr std::chrono::milliseconds kInUsePause{50};
inline constexpr std::chrono::seconds kDefaultInUseWait{2};

// How long an operation on a product file goes on trying a file that another program holds (a virus
// scanner looking at it, the product itself closing down): attempts kInUsePause apart until `Longest` has
// been waited.
struct InUseWait {
    LockWait* Pauses = nullptr;  // none: such a file fails at once
    std::chrono::milliseconds Longest = kDefaultInUseWait;
};

// Runs step; while it throws FileInUseError, pauses and runs it again, until wait.Longest has been waited,
// then lets the last failure through. Every other failure goes through at once. Adds the time paused to
// `waited`.
template <typename Step>
void RetryWhileInUse(const InUseWait& wait, std::chrono::milliseconds& waited, Step step) {
    const long long pauses = wait.Pauses == nullptr ? 0 : wait.Longest / kInUsePause;
    for (long long paused = 0;; ++paused) {
        try {
            step();
            return;
        } catch (const FileInUseError&) {
            if (paused >= pauses) {
                throw;
            }
        }
        wait.Pauses->Pause(kInUsePause);
        waited += kInUsePause;
    }
}

}  // namespace patcher

#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

#include "platform/FileSystem.h"
#include "platform/MonotonicClock.h"

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

// One product file's patience with the programs that hold it for a moment (a virus scanner looking at it, the
// product itself closing down): one deadline for the whole file, however many of its steps (recognition, the
// write check, the swap) meet it held. What counts is the time really waited, read from a monotonic clock: the
// pauses, however long each took, and the attempts made between them. A file is tried kInUsePause apart until
// that time reaches `longest` (/WAIT=).
class InUseWait {
  public:
    // Never waits: a file that another program holds fails at once.
    InUseWait() = default;
    InUseWait(LockWait& pauses, std::chrono::milliseconds longest, MonotonicClock& clock = SteadyClock()) noexcept
        : pauses_(&pauses), clock_(&clock), longest_(longest) {}

    // How long the file has been waited for so far.
    std::chrono::milliseconds Waited() const noexcept {
        return std::chrono::duration_cast<std::chrono::milliseconds>(waited_);
    }

    // Runs step; while it throws FileInUseError and the file's time is not used up, pauses and runs it again;
    // then lets the last failure through. Every other failure goes through at once.
    template <typename Step>
    void Retry(Step step) {
        // The first attempt is not waiting; everything after the first failure is, up to the next success.
        std::optional<std::chrono::steady_clock::time_point> resumed;
        for (;;) {
            try {
                step();
                return;
            } catch (const FileInUseError&) {
                if (pauses_ == nullptr) {
                    throw;
                }
                const auto failed = clock_->Now();
                if (resumed) {
                    waited_ += failed - *resumed;
                }
                if (waited_ >= longest_) {
                    throw;
                }
                // Never past the deadline by more than the system's own lateness.
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(longest_ - waited_);
                pauses_->Pause(std::min(kInUsePause, left));
                resumed = clock_->Now();
                waited_ += *resumed - failed;
            }
        }
    }

  private:
    LockWait* pauses_ = nullptr;
    MonotonicClock* clock_ = nullptr;
    std::chrono::milliseconds longest_{0};
    std::chrono::steady_clock::duration waited_{0};
};

}  // namespace patcher

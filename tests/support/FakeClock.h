#pragma once

#include <chrono>
#include <functional>

#include "engine/InUseWait.h"
#include "platform/MonotonicClock.h"

namespace patcher::testing {

// A monotonic clock that moves only when told.
class FakeClock final : public MonotonicClock {
  public:
    std::chrono::steady_clock::time_point Now() override { return now_; }
    void Advance(std::chrono::steady_clock::duration by) { now_ += by; }

  private:
    std::chrono::steady_clock::time_point now_{};
};

// Pauses that take their time on a fake clock: each as long as asked, plus `Late` (a window busy with its
// messages, a system that wakes late). Counts them, and may run something at each, as another program would.
class FakeClockPauses final : public LockWait {
  public:
    explicit FakeClockPauses(FakeClock& clock) : clock_(clock) {}

    int Pauses = 0;
    std::chrono::milliseconds Asked{0};  // the pauses asked for, together
    std::chrono::milliseconds Late{0};
    std::function<void(int pause)> AtPause;

    void Pause(std::chrono::milliseconds pause) override {
        ++Pauses;
        Asked += pause;
        clock_.Advance(pause + Late);
        if (AtPause) {
            AtPause(Pauses);
        }
    }

  private:
    FakeClock& clock_;
};

}  // namespace patcher::testing

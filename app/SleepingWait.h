#pragma once

#include <thread>

#include "engine/InUseWait.h"

namespace patcher {

// The pause of a run without a window: nothing needs to stay responsive meanwhile.
class SleepingWait : public LockWait {
  public:
    void Pause(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }
};

}  // namespace patcher

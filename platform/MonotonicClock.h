#pragma once

#include <chrono>

namespace patcher {

// A clock for measuring how long something took: it only goes forward, whatever happens to the time of day.
class MonotonicClock {
  public:
    virtual ~MonotonicClock() = default;
    virtual std::chrono::steady_clock::time_point Now() = 0;
};

// The machine's steady clock.
inline MonotonicClock& SteadyClock() {
    class Steady final : public MonotonicClock {
      public:
        std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
    };
    static Steady clock;
    return clock;
}

}  // namespace patcher

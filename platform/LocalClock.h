#pragma once

namespace patcher {

// A moment in the local time of the machine.
struct LocalTime {
    int Year = 0;
    int Month = 0;  // 1..12
    int Day = 0;    // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    int UtcOffsetMinutes = 0;  // local time less UTC: 60 in Warsaw's winter, 120 in its summer
};

class LocalClock {
  public:
    virtual ~LocalClock() = default;
    virtual LocalTime Now() = 0;
};

// The clock of the machine the program runs on.
LocalClock& SystemClock();

}  // namespace patcher

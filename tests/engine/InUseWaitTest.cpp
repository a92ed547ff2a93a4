#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "engine/InUseWait.h"
#include "tests/support/FakeClock.h"

namespace patcher {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::FakeClockPauses;

// A step that meets the file held by another program `heldFor` times, then gets through; each attempt takes
// `takes` on the clock.
struct HeldStep {
    FakeClock& Clock;
    int HeldFor = 0;
    std::chrono::milliseconds Takes{0};
    int Attempts = 0;

    void operator()() {
        ++Attempts;
        Clock.Advance(Takes);
        if (Attempts <= HeldFor) {
            throw FileInUseError("open", 32);
        }
    }
};

// Held for a moment: tried again kInUsePause apart until it gets through, and the time waited is what the
// clock says, not a count of pauses.
TEST(InUseWait, TriesAgainUntilTheOtherProgramLetsGo) {
    FakeClock clock;
    FakeClockPauses pauses(clock);
    InUseWait wait(pauses, 2s, clock);
    HeldStep step{clock, 3};
    wait.Retry(std::ref(step));
    EXPECT_EQ(step.Attempts, 4);
    EXPECT_EQ(pauses.Pauses, 3);
    EXPECT_EQ(pauses.Asked, 3 * kInUsePause);
    EXPECT_EQ(wait.Waited(), 150ms);
}

// Held for good: the last pause is cut to what is left, and the file fails right at its deadline with the
// holder's failure.
TEST(InUseWait, GivesUpAtTheDeadlineWithTheLastFailure) {
    FakeClock clock;
    FakeClockPauses pauses(clock);
    InUseWait wait(pauses, 120ms, clock);
    HeldStep step{clock, 1000};
    try {
        wait.Retry(std::ref(step));
        ADD_FAILURE() << "a file held for good got through";
    } catch (const FileInUseError& error) {
        EXPECT_EQ(error.SystemCode(), 32u);
    }
    EXPECT_EQ(pauses.Pauses, 3);  // 50, 50 and the 20 ms left
    EXPECT_EQ(wait.Waited(), 120ms);
    EXPECT_EQ(step.Attempts, 4);
}

// The promise to the administrator: /WAIT= seconds for the whole file, however many of its steps meet it held.
TEST(InUseWait, OneDeadlineServesEveryStepOfTheFile) {
    FakeClock clock;
    FakeClockPauses pauses(clock);
    InUseWait wait(pauses, 2s, clock);
    HeldStep recognition{clock, 30};  // 1.5 s
    wait.Retry(std::ref(recognition));
    HeldStep check{clock, 0};
    wait.Retry(std::ref(check));
    HeldStep swap{clock, 1000};
    EXPECT_THROW(wait.Retry(std::ref(swap)), FileInUseError);
    EXPECT_EQ(wait.Waited(), 2s);
    EXPECT_EQ(pauses.Pauses, 40);
    EXPECT_EQ(swap.Attempts, 11) << "the swap had the half second left, not two seconds of its own";

    // Spent: the next hold fails at its first meeting.
    HeldStep again{clock, 1};
    EXPECT_THROW(wait.Retry(std::ref(again)), FileInUseError);
    EXPECT_EQ(again.Attempts, 1);
}

// Pauses that come back late (a window busy with its messages) and attempts that take their time both count:
// the deadline is the clock's.
TEST(InUseWait, CountsTheTimeReallyWaitedNotThePausesAskedFor) {
    FakeClock clock;
    FakeClockPauses late(clock);
    late.Late = 50ms;
    InUseWait wait(late, 2s, clock);
    HeldStep held{clock, 1000};
    EXPECT_THROW(wait.Retry(std::ref(held)), FileInUseError);
    EXPECT_EQ(late.Pauses, 20);
    EXPECT_EQ(wait.Waited(), 2s);

    FakeClockPauses onTime(clock);
    InUseWait slowly(onTime, 2s, clock);
    HeldStep slow{clock, 1000, 200ms};  // each look at the file takes 0.2 s
    EXPECT_THROW(slowly.Retry(std::ref(slow)), FileInUseError);
    EXPECT_EQ(onTime.Pauses, 8);
    EXPECT_EQ(slowly.Waited(), 2s);
    EXPECT_EQ(slow.Attempts, 9) << "the first attempt, before the file was known to be held, is no waiting";
}

// No pauses, or /WAIT=0: a held file fails at once; and no other failure is ever waited for.
TEST(InUseWait, WaitsForNothingElse) {
    FakeClock clock;
    FakeClockPauses pauses(clock);
    InUseWait never;
    HeldStep first{clock, 1};
    EXPECT_THROW(never.Retry(std::ref(first)), FileInUseError);
    EXPECT_EQ(never.Waited(), 0ms);

    InUseWait none(pauses, 0ms, clock);
    HeldStep second{clock, 1};
    EXPECT_THROW(none.Retry(std::ref(second)), FileInUseError);
    EXPECT_EQ(second.Attempts, 1);

    InUseWait patient(pauses, 2s, clock);
    int attempts = 0;
    EXPECT_THROW(patient.Retry([&] {
        ++attempts;
        throw PlatformError("open", 5);
    }),
                 PlatformError);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(pauses.Pauses, 0);
    EXPECT_EQ(patient.Waited(), 0ms);
}

}  // namespace
}  // namespace patcher

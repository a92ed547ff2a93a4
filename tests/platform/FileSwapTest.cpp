#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/FileSwap.h"
#include "platform/FileSystem.h"

namespace patcher {
namespace {

// The target and the replacement as the swap's calls see them on Windows, with what the system answers to
// each rename, in order; every call is logged.
struct FakeSwapCalls final : SwapCalls {
    std::string Target = "old";
    std::string Replacement = "new";
    bool ReadOnly = false;
    bool Held = true;
    std::vector<unsigned long> RenameAnswers;  // 0 renames; the last one answers every later call
    unsigned long WritingAnswer = 0;           // what opening the target for writing answers
    std::vector<std::string> Calls;

    unsigned long TakeTargetAttributes(bool& readOnly) override {
        Calls.push_back("attributes");
        readOnly = ReadOnly;
        return 0;
    }
    unsigned long RenameOverTarget() override {
        Calls.push_back(Held ? "rename while held" : "rename");
        const std::size_t call = Renames++;
        const unsigned long answer =
            RenameAnswers.empty() ? 0 : RenameAnswers[std::min(call, RenameAnswers.size() - 1)];
        if (answer == 0) {
            Target = Replacement;
            Replacement.clear();
        }
        return answer;
    }
    void ReleaseHold() override {
        Calls.push_back("release");
        Held = false;
    }
    unsigned long OpenTargetForWriting() override {
        Calls.push_back(Held ? "open for writing while held" : "open for writing");
        return WritingAnswer;
    }

  private:
    std::size_t Renames = 0;
};

using Calls = std::vector<std::string>;

// One rename over the held target; where the refusal may be for our own hold (Wine refuses to rename over any
// file held open), one more without it, at once.
TEST(SwapIntoPlace, RenamesOverTheHeldTargetAndWithoutTheHoldOnlyWhereItIsRefused) {
    FakeSwapCalls windows;
    SwapIntoPlace(windows);
    EXPECT_EQ(windows.Target, "new");
    EXPECT_EQ(windows.Calls, (Calls{"attributes", "rename while held"}));

    FakeSwapCalls wine;
    wine.RenameAnswers = {5, 0};
    SwapIntoPlace(wine);
    EXPECT_EQ(wine.Target, "new");
    EXPECT_EQ(wine.Calls, (Calls{"attributes", "rename while held", "release", "rename"}));

    // Any other refusal is not for the hold.
    FakeSwapCalls diskError;
    diskError.RenameAnswers = {1117};
    EXPECT_THROW(SwapIntoPlace(diskError), PlatformError);
    EXPECT_EQ(diskError.Target, "old");
    EXPECT_EQ(diskError.Calls, (Calls{"attributes", "rename while held"}));
}

// Access denied twice: a target that another program has open (a running program's file) is waited for, one
// that the account may not replace fails at once with access denied, as a denied read does.
TEST(SwapIntoPlace, TellsATargetInUseFromOneItMayNotReplace) {
    for (const unsigned long writing : {32ul, 33ul, 5ul, 0ul}) {
        SCOPED_TRACE(writing);
        FakeSwapCalls calls;
        calls.RenameAnswers = {5};
        calls.WritingAnswer = writing;
        try {
            SwapIntoPlace(calls);
            ADD_FAILURE() << "a refused rename passed";
        } catch (const FileInUseError& error) {
            EXPECT_TRUE(writing == 32 || writing == 33);
            EXPECT_EQ(error.SystemCode(), writing);
        } catch (const PlatformError& error) {
            EXPECT_TRUE(writing == 5 || writing == 0);
            EXPECT_EQ(error.SystemCode(), 5u);
        }
        EXPECT_EQ(calls.Target, "old");
        EXPECT_EQ(calls.Replacement, "new");
        EXPECT_EQ(calls.Calls, (Calls{"attributes", "rename while held", "release", "rename", "open for writing"}));
    }

    // A sharing violation at the rename itself is another program's.
    FakeSwapCalls shared;
    shared.RenameAnswers = {32};
    EXPECT_THROW(SwapIntoPlace(shared), FileInUseError);
    EXPECT_EQ(shared.Calls, (Calls{"attributes", "rename while held"}));
}

// A read-only target is refused before anything is tried: an administrator's rename could go through on some
// systems.
TEST(SwapIntoPlace, RefusesAReadOnlyTargetAtOnce) {
    FakeSwapCalls calls;
    calls.ReadOnly = true;
    EXPECT_THROW(SwapIntoPlace(calls), ReadOnlyFileError);
    EXPECT_EQ(calls.Target, "old");
    EXPECT_EQ(calls.Calls, (Calls{"attributes"}));
}

}  // namespace
}  // namespace patcher

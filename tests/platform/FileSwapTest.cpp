#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/FileSwap.h"
#include "platform/FileSystem.h"

namespace patcher {
namespace {

const ByteString kTarget = "C:\\Vokarion\\VokarEn.exe";
const ByteString kReplacement = "C:\\Vokarion\\~k3v9q2z";
const ByteString kBackup = "C:\\Vokarion\\~8dj2m0w";

// A folder as the swap's calls see it on Windows. Call n (counted from 1) is refused when bit n - 1 of
// `refused` is set; a refused ReplaceFileA leaves both files where they were or, with movesAside, has already
// moved the target to the backup name, as Windows may.
struct FakeSwapCalls final : SwapCalls {
    std::map<ByteString, ByteString> files;
    std::set<ByteString> deletedAtRestart;
    int refused = 0;
    bool movesAside = false;
    bool readOnly = false;
    int calls = 0;

    bool Refused() { return ((refused >> calls++) & 1) != 0; }
    void Rename(const ByteString& from, const ByteString& to) {
        files[to] = files.at(from);
        files.erase(from);
    }

    bool Exists(const ByteString& path) override { return !Refused() && files.count(path) != 0; }
    bool IsReadOnly(const ByteString&) override { return readOnly; }
    unsigned long Replace(const ByteString& target, const ByteString& replacement, const ByteString& backup) override {
        const bool refuse = Refused();
        if (refuse && !movesAside) {
            return 5;
        }
        Rename(target, backup);
        if (refuse) {
            return kUnableToMoveReplacement2;
        }
        Rename(replacement, target);
        return 0;
    }
    unsigned long Move(const ByteString& from, const ByteString& to, bool replaceExisting) override {
        if (Refused() || (files.count(to) != 0 && !replaceExisting)) {
            return 5;
        }
        Rename(from, to);
        return 0;
    }
    unsigned long Delete(const ByteString& path) override {
        if (Refused()) {
            return 5;
        }
        files.erase(path);
        return 0;
    }
    unsigned long DeleteAtRestart(const ByteString& path) override {
        if (Refused()) {
            return 5;
        }
        deletedAtRestart.insert(path);
        return 0;
    }
};

// Whichever of its (at most six) calls Windows refuses, the target ends up with the old or the new content.
// The backup stays only when it is to go at the next start or both its deletions were refused; where neither
// file could take the target's place, both stay and the caller is told to keep the new one.
TEST(SwapIntoPlace, LeavesTheTargetOldOrNewWhateverTheSystemRefuses) {
    for (int refused = 0; refused < 64; ++refused) {
        for (const bool targetExists : {true, false}) {
            for (const bool movesAside : {false, true}) {
                FakeSwapCalls calls;
                calls.files = {{kReplacement, "new"}};
                if (targetExists) {
                    calls.files[kTarget] = "old";
                }
                calls.refused = refused;
                calls.movesAside = movesAside;
                std::map<ByteString, ByteString> expected;
                try {
                    SwapIntoPlace(calls, kTarget, kReplacement, kBackup);
                    expected = {{kTarget, "new"}};
                    const bool deletionsRefused = ((refused >> (calls.calls - 2)) & 3) == 3;
                    if (calls.files.count(kBackup) != 0 &&
                        (calls.deletedAtRestart.count(kBackup) || deletionsRefused)) {
                        expected[kBackup] = "old";
                    }
                } catch (const ReplacementKeptError&) {
                    expected = {{kBackup, "old"}, {kReplacement, "new"}};
                } catch (const PlatformError&) {
                    expected = {{kReplacement, "new"}};  // the caller's to delete
                    if (targetExists) {
                        expected[kTarget] = "old";
                    }
                }
                EXPECT_EQ(calls.files, expected) << "refused " << refused << (targetExists ? ", target present" : "")
                                                 << (movesAside ? ", moved" : "");
            }
        }
    }
}

// Access to the target denied: for good where it is read-only, for now otherwise (a scanner holding it).
TEST(SwapIntoPlace, TellsAReadOnlyTargetFromOneHeldForNow) {
    for (const bool readOnly : {true, false}) {
        FakeSwapCalls calls;
        calls.files = {{kTarget, "old"}, {kReplacement, "new"}};
        calls.refused = 2;  // ReplaceFileA
        calls.readOnly = readOnly;
        try {
            SwapIntoPlace(calls, kTarget, kReplacement, kBackup);
            ADD_FAILURE() << "a refused replacement passed";
        } catch (const ReadOnlyFileError&) {
            EXPECT_TRUE(readOnly);
        } catch (const FileInUseError&) {
            EXPECT_FALSE(readOnly);
        }
        EXPECT_EQ(calls.files.at(kTarget), "old");
    }
}

}  // namespace
}  // namespace patcher

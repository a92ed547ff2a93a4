#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/UniqueHandle.h"
#include "tests/support/OtherProcess.h"
#else
#include <sys/stat.h>
#endif

#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "tests/support/BuildData.h"
#include "tests/support/FakeClock.h"
#include "tests/support/InstalledBuildTables.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/MemoryResourceStore.h"
#include "tests/support/TempDir.h"
#include "tools/standin/PackedResources.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher {
namespace {

using testing::BuildResources;
using testing::MemoryFileSystem;
using testing::MemoryResourceStore;
using testing::Standins;
using Bytes = std::vector<std::uint8_t>;

const Bytes& NewFileOne() {
    return Standins().Get(1, 11);
}

// The one resource of file 10's row, packed from its only build.
std::vector<standin::PackedResource> FileTenResources() {
    return standin::PackFileResources(Standins().Get(10, 1), ResourceName(10, 1), ResourceName(10, 2),
                                      packer::ParseMethod::Greedy);
}

// The build's two resources of file 1, copied into a store that tests may change.
MemoryResourceStore FileOneResources() {
    MemoryResourceStore store;
    for (const char* name : {"PVOKAREN1A", "PVOKAREN1B"}) {
        const auto resource = BuildResources().Load(name);
        store.Add(name, {resource->Bytes().begin(), resource->Bytes().end()});
    }
    return store;
}

Bytes ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Listing(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

constexpr FoundTarget kAbsent{};

constexpr FoundTarget Build(int version) {
    return {.Exists = true, .Version = version};
}

TEST(UnpackResource, AppendsTheUnpackedBytesOfTheBuildsResources) {
    DecoderState decoder;
    Bytes content = {0xAA};
    UnpackResource("PVOKAREN1A", BuildResources(), decoder, content);
    ASSERT_EQ(content.size(), 1 + standin::kFirstSlotBytes);
    EXPECT_EQ(content[0], 0xAA);
    EXPECT_TRUE(std::equal(content.begin() + 1, content.end(), NewFileOne().begin()));
    UnpackResource("PVOKAREN1B", BuildResources(), decoder, content);
    EXPECT_EQ(content.size(), 1 + NewFileOne().size());
    EXPECT_THROW(UnpackResource("PVOKARDE2A", BuildResources(), decoder, content), std::exception);
}

TEST(RewriteFile, WritesFileOneFromItsTwoResourcesOnDisk) {
    testing::TempDir dir;
    const std::string path = dir.File("VokarEn.exe");
    DecoderState decoder;
    ASSERT_TRUE(RewriteFile(1, path, kAbsent, {SystemFileSystem(), BuildResources(), decoder}));
    const Bytes written = ReadWhole(path);
    ASSERT_EQ(written.size(), 2288640u);
    EXPECT_EQ(written[0], 0x4D);
    EXPECT_EQ(written[1], 0x5A);
    EXPECT_TRUE(written == NewFileOne());
    EXPECT_EQ(RecogniseFileVersion(1, path, SystemFileSystem()), CheckResult::Current);

    // An older, longer build is replaced and cut to the new length; nothing else stays in the folder.
    const Bytes& older = Standins().Get(1, 10);
    dir.Write("VokarEn.exe", older);
    ASSERT_TRUE(RewriteFile(1, path, Build(10), {SystemFileSystem(), BuildResources(), decoder}));
    EXPECT_TRUE(ReadWhole(path) == NewFileOne());
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"VokarEn.exe"});
}

TEST(RewriteFile, WritesSlotOneAloneForARowWithOneName) {
    MemoryResourceStore store;
    for (auto& resource : FileTenResources()) {
        store.Add(resource.Name, std::move(resource.Packed));
    }
    MemoryFileSystem files;
    files.AddDirectory("C:\\Vokarion");
    DecoderState decoder;
    ASSERT_TRUE(RewriteFile(10, "C:\\Vokarion\\Sl_ZewD.chm", kAbsent, {files, store, decoder}));
    EXPECT_TRUE(files.Bytes("C:\\Vokarion\\Sl_ZewD.chm") == Standins().Get(10, 1));
    EXPECT_EQ(files.Files().size(), 1u);
    EXPECT_EQ(store.Held(), 0);
}

TEST(RewriteFile, LeavesTheTargetAsItWasWhenTheDataIsMissingOrWrong) {
    const Bytes old = Standins().Get(1, 9);
    const auto check = [&](MemoryResourceStore& store, const char* what) {
        MemoryFileSystem files;
        files.AddDirectory("C:\\Vokarion");
        files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
        DecoderState decoder;
        EXPECT_FALSE(RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", Build(9), {files, store, decoder})) << what;
        EXPECT_TRUE(files.Bytes("C:\\Vokarion\\VokarEn.exe") == old) << what;
        EXPECT_EQ(files.Files().size(), 1u) << what;
        EXPECT_EQ(files.Count().WriteOperations, 0) << what << ": nothing is written before the data is right";
        EXPECT_EQ(store.Held(), 0) << what;
    };
    MemoryResourceStore missing = FileOneResources();
    missing.Remove("PVOKAREN1B");
    check(missing, "missing second resource");

    MemoryResourceStore broken = FileOneResources();
    broken.Add("PVOKAREN1A", {0x00, 0x01});
    check(broken, "broken stream");

    // A stream that unpacks fine, but to other bytes than this file's new content: only the digest sees it.
    MemoryResourceStore wrong = FileOneResources();
    for (auto& resource : FileTenResources()) {
        wrong.Add("PVOKAREN1B", std::move(resource.Packed));
    }
    check(wrong, "wrong content");
}

// Whichever step of the write fails, the target is either untouched or wholly new, and no other file stays.
TEST(RewriteFile, NeverLeavesAHalfWrittenTargetWhateverFails) {
    MemoryResourceStore store = FileOneResources();
    const Bytes old = Standins().Get(1, 10);
    for (const bool targetExists : {true, false}) {
        bool succeeded = false;
        for (int failing = 1; !succeeded; ++failing) {
            ASSERT_LT(failing, 50) << "the rewrite never got through";
            MemoryFileSystem files;
            files.AddDirectory("C:\\Vokarion");
            if (targetExists) {
                files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
            }
            files.FailWriteOperation(failing);
            DecoderState decoder;
            const bool result =
                RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", targetExists ? Build(10) : kAbsent, {files, store, decoder})
                    .Ok;
            succeeded = files.Count().WriteOperations < failing;  // the injected failure never came
            EXPECT_EQ(result, succeeded) << "failing operation " << failing;
            const auto& all = files.Files();
            const auto target = all.find("C:\\Vokarion\\VokarEn.exe");
            if (result) {
                ASSERT_NE(target, all.end());
                EXPECT_TRUE(target->second == NewFileOne());
            } else if (targetExists) {
                ASSERT_NE(target, all.end()) << "failing operation " << failing;
                EXPECT_TRUE(target->second == old) << "failing operation " << failing;
            } else {
                EXPECT_EQ(target, all.end()) << "failing operation " << failing;
            }
            EXPECT_EQ(all.size(), result || targetExists ? 1u : 0u) << "failing operation " << failing;
        }
    }
}

TEST(RewriteFile, RefusesATargetThatCannotBeWrittenAndLeavesItAlone) {
    MemoryResourceStore store = FileOneResources();
    const Bytes old = Standins().Get(1, 8);
    MemoryFileSystem files;
    files.AddDirectory("C:\\Vokarion");
    files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
    files.MakeReadOnly("C:\\Vokarion\\VokarEn.exe");
    DecoderState decoder;
    EXPECT_FALSE(RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", Build(8), {files, store, decoder}));
    EXPECT_TRUE(files.Bytes("C:\\Vokarion\\VokarEn.exe") == old);
    EXPECT_EQ(files.Files().size(), 1u);

    // A missing directory, on disk.
    testing::TempDir dir;
    EXPECT_FALSE(RewriteFile(1, (dir.Path() / "absent" / "VokarEn.exe").string(), kAbsent,
                             {SystemFileSystem(), store, decoder}));
    EXPECT_TRUE(Listing(dir.Path()).empty());
}

// A product file or a new file that another program holds for a moment is tried again, and only a hold that
// outlasts the file's deadline fails the file, which then stays as it was.
TEST(RewriteFile, WaitsForAFileThatAnotherProgramHoldsForAMoment) {
    MemoryResourceStore store = FileOneResources();
    const Bytes old = Standins().Get(1, 10);
    struct Case {
        int HeldChecks;
        int HeldOpens;
        int HeldReplacements;
        bool Waits;
        bool Rewritten;
        int Pauses;
    };
    const int allPauses = static_cast<int>(kDefaultInUseWait / kInUsePause);
    for (const Case& held :
         {Case{3, 0, 0, true, true, 3}, Case{0, 2, 0, true, true, 2}, Case{0, 0, 2, true, true, 2},
          Case{1, 1, 1, true, true, 3}, Case{-1, 0, 0, true, false, allPauses}, Case{0, -1, 0, true, false, allPauses},
          Case{0, 0, -1, true, false, allPauses}, Case{0, 0, 1, false, false, 0}}) {
        SCOPED_TRACE(std::to_string(held.HeldChecks) + " " + std::to_string(held.HeldOpens) + " " +
                     std::to_string(held.HeldReplacements));
        MemoryFileSystem files;
        files.AddDirectory("C:\\Vokarion");
        files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
        files.HoldFiles(held.HeldChecks, held.HeldReplacements, held.HeldOpens);
        testing::FakeClock clock;
        testing::FakeClockPauses pauses(clock);
        InUseWait wait = held.Waits ? InUseWait(pauses, kDefaultInUseWait, clock) : InUseWait();
        DecoderState decoder;
        const RewriteResult result =
            RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", Build(10), {files, store, decoder}, wait);
        EXPECT_EQ(result.Ok, held.Rewritten);
        EXPECT_EQ(pauses.Pauses, held.Pauses);
        EXPECT_EQ(wait.Waited(), held.Pauses * kInUsePause);
        EXPECT_EQ(result.Failure.Fault, held.Rewritten ? FileFault::None : FileFault::InUse);
        EXPECT_TRUE(files.Bytes("C:\\Vokarion\\VokarEn.exe") == (held.Rewritten ? NewFileOne() : old));
        EXPECT_EQ(files.Files().size(), 1u);
        EXPECT_EQ(files.Count().OpenHandles, 0);
    }

    // A read-only target, or one that a rule keeps the account from replacing, is not waited for: it will not
    // change by itself.
    for (const bool readOnly : {true, false}) {
        MemoryFileSystem files;
        files.AddDirectory("C:\\Vokarion");
        files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
        if (readOnly) {
            files.MakeReadOnly("C:\\Vokarion\\VokarEn.exe");
        } else {
            files.DenyReplacing("C:\\Vokarion\\VokarEn.exe");
        }
        testing::FakeClock clock;
        testing::FakeClockPauses pauses(clock);
        InUseWait wait(pauses, kDefaultInUseWait, clock);
        DecoderState decoder;
        const RewriteResult refused =
            RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", Build(10), {files, store, decoder}, wait);
        EXPECT_FALSE(refused);
        EXPECT_EQ(refused.Failure.Fault, readOnly ? FileFault::ReadOnly : FileFault::AccessDenied);
        EXPECT_EQ(refused.Failure.SystemCode, readOnly ? 5u : testing::kAccessDenied);
        EXPECT_EQ(pauses.Pauses, 0);
        EXPECT_TRUE(files.Bytes("C:\\Vokarion\\VokarEn.exe") == old);
        EXPECT_EQ(files.Files().size(), 1u);
    }
}

// Right before the swap the target is recognised again: a build that another program put there after the
// run recognised the file (another copy of the patcher, an installer), a file it deleted or one it made where
// none was, is left alone and reported, and nothing else stays behind.
TEST(RewriteFile, LeavesAloneATargetChangedAfterItWasRecognised) {
    MemoryResourceStore store = FileOneResources();
    const std::string path = "C:\\Vokarion\\VokarEn.exe";
    auto unknown = Standins().Get(1, 10);
    unknown.push_back(0);
    struct Case {
        const char* What;
        FoundTarget Found;
        std::function<void(MemoryFileSystem&)> Meanwhile;
        std::optional<FoundTarget> Now;  // none: what it held was replaced
    };
    const Case cases[] = {
        {"another build", Build(7), [&](MemoryFileSystem& f) { f.AddFile(path, Standins().Get(1, 9)); }, Build(9)},
        {"the newest build", Build(7), [&](MemoryFileSystem& f) { f.AddFile(path, NewFileOne()); }, Build(11)},
        {"an unknown build", Build(7), [&](MemoryFileSystem& f) { f.AddFile(path, unknown); }, Build(0)},
        {"deleted", Build(7), [&](MemoryFileSystem& f) { f.RemoveFile(path); }, kAbsent},
        {"made", kAbsent, [&](MemoryFileSystem& f) { f.AddFile(path, Standins().Get(1, 9)); }, Build(9)},
        {"unchanged", Build(7), [](MemoryFileSystem&) {}, std::nullopt},
        {"still absent", kAbsent, [](MemoryFileSystem&) {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        MemoryFileSystem files;
        files.AddDirectory("C:\\Vokarion");
        if (c.Found.Exists) {
            files.AddFile(path, Standins().Get(1, 7));
        }
        files.BeforeSwapping([&](const std::string& target) {
            EXPECT_EQ(target, path);
            c.Meanwhile(files);
        });
        DecoderState decoder;
        const RewriteResult result = RewriteFile(1, path, c.Found, {files, store, decoder});
        EXPECT_EQ(result.Ok, !c.Now.has_value());
        EXPECT_EQ(result.ChangedTo, c.Now);
        EXPECT_EQ(result.Failure.Fault, FileFault::None);
        std::map<std::string, Bytes> expected;
        if (!c.Now) {
            expected[path] = NewFileOne();
        } else if (c.Now->Exists) {
            expected[path] = c.Now->Version == 0 ? unknown : Standins().Get(1, c.Now->Version);
        }
        EXPECT_TRUE(files.Files() == expected);
        EXPECT_EQ(files.Count().OpenHandles, 0);
    }
}

TEST(RewriteFile, ReadOnlyTargetOnDiskStaysByteIdentical) {
    testing::TempDir dir;
    const Bytes old = Standins().Get(1, 3);
    const std::string path = dir.Write("VokarEn.exe", old);
#ifdef _WIN32
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
#endif
    DecoderState decoder;
    EXPECT_FALSE(RewriteFile(1, path, Build(3), {SystemFileSystem(), BuildResources(), decoder}));
    EXPECT_TRUE(ReadWhole(path) == old);
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"VokarEn.exe"});
#ifdef _WIN32
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
    ::chmod(path.c_str(), 0644);
#endif
}

#ifdef _WIN32
TEST(RewriteFile, TargetHeldOpenWithoutSharingStaysByteIdentical) {
    testing::TempDir dir;
    const Bytes old = Standins().Get(1, 5);
    const std::string path = dir.Write("VokarEn.exe", old);
    DecoderState decoder;
    {
        win32::UniqueFileHandle holder(
            ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_FALSE(RewriteFile(1, path, Build(5), {SystemFileSystem(), BuildResources(), decoder}));
    }
    EXPECT_TRUE(ReadWhole(path) == old);
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"VokarEn.exe"});
    // A holder that lets others read, write and delete: whether the system then lets the file be replaced
    // or not, the target is whole, old or new, and nothing else stays behind.
    {
        win32::UniqueFileHandle holder(::CreateFileA(path.c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        const bool rewritten = RewriteFile(1, path, Build(5), {SystemFileSystem(), BuildResources(), decoder}).Ok;
        holder.Reset();
        EXPECT_TRUE(ReadWhole(path) == (rewritten ? NewFileOne() : old));
        EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"VokarEn.exe"});
        dir.Write("VokarEn.exe", old);
    }
    // A rewrite that may wait goes through once the other program lets go.
    win32::UniqueFileHandle holder(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    testing::FakeClock clock;
    testing::FakeClockPauses pauses(clock);
    pauses.AtPause = [&](int) { holder.Reset(); };
    InUseWait wait(pauses, kDefaultInUseWait, clock);
    EXPECT_TRUE(RewriteFile(1, path, Build(5), {SystemFileSystem(), BuildResources(), decoder}, wait));
    EXPECT_EQ(pauses.Pauses, 1);
    EXPECT_TRUE(ReadWhole(path) == NewFileOne());
}

// Another program puts another build in the target after the run recognised it: the rewrite sees that through
// its hold and leaves the file alone.
TEST(RewriteFile, LeavesAloneATargetThatAnotherProcessChangedAfterItWasRecognised) {
    testing::TempDir dir;
    const std::string path = dir.Write("VokarEn.exe", Standins().Get(1, 5));
    const std::string other = dir.Write("other.bin", Standins().Get(1, 9));
    DecoderState decoder;
    const FoundTarget found = Build(IdentifyFileVersion(1, path, SystemFileSystem()).Version);
    ASSERT_EQ(found, Build(5));
    ASSERT_EQ(
        testing::CopyInAnotherProcess(std::filesystem::path(other).wstring(), std::filesystem::path(path).wstring()),
        0u);
    std::filesystem::remove(other);

    const RewriteResult result = RewriteFile(1, path, found, {SystemFileSystem(), BuildResources(), decoder});
    EXPECT_FALSE(result);
    EXPECT_EQ(result.ChangedTo, Build(9));
    EXPECT_TRUE(ReadWhole(path) == Standins().Get(1, 9));
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"VokarEn.exe"});
}
#endif

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/UniqueHandle.h"
#else
#include <sys/stat.h>
#endif

#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "tests/support/BuildData.h"
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

// Counts the pauses between attempts; may run something at a given pause, as another program would.
class CountingWait final : public LockWait {
  public:
    int Pauses = 0;
    std::function<void()> AtFirstPause;

    void Pause(std::chrono::milliseconds pause) override {
        EXPECT_EQ(pause, kInUsePause);
        if (++Pauses == 1 && AtFirstPause) {
            AtFirstPause();
        }
    }
};

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
    ASSERT_TRUE(RewriteFile(1, path, {SystemFileSystem(), BuildResources(), decoder}));
    const Bytes written = ReadWhole(path);
    ASSERT_EQ(written.size(), 2288640u);
    EXPECT_EQ(written[0], 0x4D);
    EXPECT_EQ(written[1], 0x5A);
    EXPECT_TRUE(written == NewFileOne());
    EXPECT_EQ(RecogniseFileVersion(1, path, SystemFileSystem()), CheckResult::Current);

    // An older, longer build is replaced and cut to the new length; nothing else stays in the folder.
    const Bytes& older = Standins().Get(1, 10);
    dir.Write("VokarEn.exe", older);
    ASSERT_TRUE(RewriteFile(1, path, {SystemFileSystem(), BuildResources(), decoder}));
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
    ASSERT_TRUE(RewriteFile(10, "C:\\Vokarion\\Sl_ZewD.chm", {files, store, decoder}));
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
        EXPECT_FALSE(RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {files, store, decoder})) << what;
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
            const bool result = RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {files, store, decoder}).Ok;
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

// Where the system moved the target aside and then put back neither file, deleting the new file would lose
// the only copy of the new content while the product file is missing: it is kept beside the old one.
TEST(RewriteFile, KeepsTheNewFileWhereTheSystemPutsBackNeither) {
    MemoryResourceStore store = FileOneResources();
    const Bytes old = Standins().Get(1, 10);
    MemoryFileSystem files;
    files.AddDirectory("C:\\Vokarion");
    files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
    files.StrandReplacement();
    DecoderState decoder;
    EXPECT_FALSE(RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {files, store, decoder}));
    ASSERT_EQ(files.Files().size(), 2u);
    for (const auto& [path, bytes] : files.Files()) {
        EXPECT_TRUE(bytes == (path == "C:\\Vokarion\\VokarEn.exe~old" ? old : NewFileOne())) << path;
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
    EXPECT_FALSE(RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {files, store, decoder}));
    EXPECT_TRUE(files.Bytes("C:\\Vokarion\\VokarEn.exe") == old);
    EXPECT_EQ(files.Files().size(), 1u);

    // A missing directory, on disk.
    testing::TempDir dir;
    EXPECT_FALSE(
        RewriteFile(1, (dir.Path() / "absent" / "VokarEn.exe").string(), {SystemFileSystem(), store, decoder}));
    EXPECT_TRUE(Listing(dir.Path()).empty());
}

// A product file or a new file that another program holds for a moment is tried again, and only a hold that
// outlasts every attempt fails the file, which then stays as it was.
TEST(RewriteFile, WaitsForAFileThatAnotherProgramHoldsForAMoment) {
    MemoryResourceStore store = FileOneResources();
    const Bytes old = Standins().Get(1, 10);
    struct Case {
        int HeldChecks;
        int HeldReplacements;
        bool Waits;
        bool Rewritten;
        int Pauses;
    };
    const int allPauses = static_cast<int>(kDefaultInUseWait / kInUsePause);
    for (const Case& held : {Case{3, 0, true, true, 3}, Case{0, 2, true, true, 2}, Case{-1, 0, true, false, allPauses},
                             Case{0, -1, true, false, allPauses}, Case{0, 1, false, false, 0}}) {
        SCOPED_TRACE(std::to_string(held.HeldChecks) + " " + std::to_string(held.HeldReplacements));
        MemoryFileSystem files;
        files.AddDirectory("C:\\Vokarion");
        files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
        files.HoldFiles(held.HeldChecks, held.HeldReplacements);
        CountingWait wait;
        DecoderState decoder;
        const RewriteResult result =
            RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {files, store, decoder, {held.Waits ? &wait : nullptr}});
        EXPECT_EQ(result.Ok, held.Rewritten);
        EXPECT_EQ(wait.Pauses, held.Pauses);
        EXPECT_EQ(result.Waited, held.Pauses * kInUsePause);
        EXPECT_EQ(result.Failure.Fault, held.Rewritten ? FileFault::None : FileFault::InUse);
        EXPECT_TRUE(files.Bytes("C:\\Vokarion\\VokarEn.exe") == (held.Rewritten ? NewFileOne() : old));
        EXPECT_EQ(files.Files().size(), 1u);
    }

    // A read-only target is not waited for: it will not change by itself.
    MemoryFileSystem files;
    files.AddDirectory("C:\\Vokarion");
    files.AddFile("C:\\Vokarion\\VokarEn.exe", old);
    files.MakeReadOnly("C:\\Vokarion\\VokarEn.exe");
    CountingWait wait;
    DecoderState decoder;
    const RewriteResult readOnly = RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {files, store, decoder, {&wait}});
    EXPECT_FALSE(readOnly);
    EXPECT_EQ(readOnly.Failure.Fault, FileFault::ReadOnly);
    EXPECT_EQ(wait.Pauses, 0);

    // How long is the administrator's to say (/WAIT=): 150 ms are three pauses, none at all fails at once.
    for (const auto& [longest, pauses] :
         {std::pair(std::chrono::milliseconds(150), 3), std::pair(std::chrono::milliseconds(0), 0)}) {
        MemoryFileSystem heldForever;
        heldForever.AddDirectory("C:\\Vokarion");
        heldForever.AddFile("C:\\Vokarion\\VokarEn.exe", old);
        heldForever.HoldFiles(-1, 0);
        CountingWait counted;
        EXPECT_FALSE(RewriteFile(1, "C:\\Vokarion\\VokarEn.exe", {heldForever, store, decoder, {&counted, longest}}));
        EXPECT_EQ(counted.Pauses, pauses);
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
    EXPECT_FALSE(RewriteFile(1, path, {SystemFileSystem(), BuildResources(), decoder}));
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
        EXPECT_FALSE(RewriteFile(1, path, {SystemFileSystem(), BuildResources(), decoder}));
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
        const bool rewritten = RewriteFile(1, path, {SystemFileSystem(), BuildResources(), decoder}).Ok;
        holder.Reset();
        EXPECT_TRUE(ReadWhole(path) == (rewritten ? NewFileOne() : old));
        EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"VokarEn.exe"});
        dir.Write("VokarEn.exe", old);
    }
    // A rewrite that may wait goes through once the other program lets go.
    win32::UniqueFileHandle holder(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    CountingWait wait;
    wait.AtFirstPause = [&] { holder.Reset(); };
    EXPECT_TRUE(RewriteFile(1, path, {SystemFileSystem(), BuildResources(), decoder, {&wait}}));
    EXPECT_EQ(wait.Pauses, 1);
    EXPECT_TRUE(ReadWhole(path) == NewFileOne());
}
#endif

}  // namespace
}  // namespace patcher

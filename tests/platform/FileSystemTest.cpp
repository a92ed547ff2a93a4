#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "tests/support/Win32TestHandles.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "tests/support/TempDir.h"

namespace patcher {
namespace {

using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SystemFileSystem, ReadsSingleBytesAtAnyPosition) {
    TempDir dir;
    const auto path = dir.Write("sample.bin", {0x4D, 0x5A, 0x90, 0x00, 0x03});
    auto file = SystemFileSystem().OpenForReading(path);
    EXPECT_EQ(file->Size(), 5);
    file->Seek(4);
    EXPECT_EQ(file->ReadByte(), 0x03);
    file->Seek(0);
    EXPECT_EQ(file->ReadByte(), 0x4D);
    EXPECT_EQ(file->ReadByte(), 0x5A);
    file->Seek(5);
    EXPECT_THROW(file->ReadByte(), PlatformError);
}

TEST(SystemFileSystem, FailsToOpenWhatIsNotAReadableFile) {
    TempDir dir;
    EXPECT_THROW(SystemFileSystem().OpenForReading(dir.File("absent.exe")), PlatformError);
    EXPECT_THROW(SystemFileSystem().OpenForReading(""), PlatformError);
}

TEST(SystemFileSystem, TellsFilesFromDirectories) {
    TempDir dir;
    const auto file = dir.Write("VokarEn.exe", {1});
    const auto folder = dir.Path().string();
    EXPECT_TRUE(SystemFileSystem().FileExists(file));
    EXPECT_FALSE(SystemFileSystem().DirectoryExists(file));
    EXPECT_TRUE(SystemFileSystem().DirectoryExists(folder));
    EXPECT_FALSE(SystemFileSystem().FileExists(folder));
    EXPECT_FALSE(SystemFileSystem().FileExists(dir.File("absent")));
    EXPECT_FALSE(SystemFileSystem().DirectoryExists(dir.File("absent")));
    EXPECT_FALSE(SystemFileSystem().FileExists(""));
    EXPECT_FALSE(SystemFileSystem().DirectoryExists(""));
}

TEST(SystemFileSystem, LetsOthersWriteWhileItReads) {
    TempDir dir;
    const auto path = dir.Write("shared.bin", {1, 2, 3});
    auto reader = SystemFileSystem().OpenForReading(path);
    // A second reader, and a writer, may open the file meanwhile.
    auto second = SystemFileSystem().OpenForReading(path);
    std::ofstream writer(path, std::ios::binary | std::ios::in | std::ios::out);
    EXPECT_TRUE(writer.is_open());
    EXPECT_EQ(second->ReadByte(), 1);
}

// Up to the zero byte, each path names a file or folder that exists, which a layer passing the path on as it
// is would test, open or delete.
TEST(SystemFileSystem, RefusesAPathHoldingAZeroByte) {
    TempDir dir;
    const std::string file = dir.Write("VokarEn.exe", {0x4D, 0x5A});
    const std::string inFile = file + std::string(1, '\0') + ".bak";
    const std::string inFolder = dir.Path().string() + std::string(1, '\0');
    FileSystem& files = SystemFileSystem();
    EXPECT_FALSE(files.FileExists(inFile));
    EXPECT_FALSE(files.DirectoryExists(inFolder));
    EXPECT_THROW(files.OpenForReading(inFile), PlatformError);
    EXPECT_THROW(files.CheckWritable(inFile), PlatformError);
    ByteString created;
    EXPECT_THROW(files.CreateUniqueFile(inFolder, 11, created), PlatformError);
    EXPECT_THROW(files.Replace(inFile, dir.Write("new.bin", {1})), PlatformError);
    EXPECT_FALSE(files.Delete(inFile));
    EXPECT_EQ(ReadWhole(file), (Bytes{0x4D, 0x5A}));
}

// Made and written through one handle, under a name no longer than that of the file it stands for where
// that leaves enough to guess.
TEST(SystemFileSystem, CreatesAFileUnderAFreshShortName) {
    TempDir dir;
    for (const std::size_t longest : {std::size_t{3}, std::size_t{10}, std::size_t{40}}) {
        ByteString path;
        const auto file = SystemFileSystem().CreateUniqueFile(dir.Path().string(), longest, path);
        file->Write(Bytes{7, 8, 9});
        file->Close();
        EXPECT_EQ(ReadWhole(path), (Bytes{7, 8, 9}));
        EXPECT_LE(std::filesystem::path(path).filename().string().size(), std::max<std::size_t>(longest, 8)) << path;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

#ifndef _WIN32
TEST(SystemFileSystem, RefusesAFifoWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = dir.File("VokarEn.exe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto opening = std::async(std::launch::async, [&] { SystemFileSystem().OpenForReading(fifo); });
    if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a FIFO waits for a writer";
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // lets the open return
        opening.wait();
        ::close(writer);
    }
    EXPECT_THROW(opening.get(), PlatformError);
}
#endif

#ifdef _WIN32
TEST(SystemFileSystem, CannotOpenAFileHeldWithoutSharing) {
    TempDir dir;
    const auto path = dir.Write("locked.exe", {0x4D, 0x5A});
    win32::UniqueFileHandle holder(
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    try {
        SystemFileSystem().OpenForReading(path);
        FAIL() << "opened a file that another handle holds exclusively";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.SystemCode(), static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    }
    holder.Reset();
    EXPECT_NO_THROW(SystemFileSystem().OpenForReading(path));
}

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenames[] = "PendingFileRenameOperations";

// The deletions that the system makes at its next start: pairs of zero-terminated names.
std::string PendingRenames() {
    DWORD size = 0;
    ::RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size);
    std::string pending(size, '\0');
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, RRF_RT_REG_MULTI_SZ, nullptr,
                       pending.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    pending.resize(size);
    return pending;
}

template <typename Action>
struct AtExit {
    Action action;
    ~AtExit() { action(); }
};
template <typename Action>
AtExit(Action) -> AtExit<Action>;

// The file of a running program can be renamed but not deleted: replacing it leaves the old file under the
// backup name, which is then the system's to delete at its next start rather than litter for good.
TEST(SystemFileSystem, LeavesTheBackupOfARunningProgramForTheNextStart) {
    TempDir dir;
    char self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    const std::string target = dir.File("Demo.exe");
    ASSERT_TRUE(::CopyFileA(self, target.c_str(), TRUE));
    // The copy runs, held before its first instruction.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessA(target.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &started));
    const win32::UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    const std::string pendingBefore = PendingRenames();
    const AtExit cleanUp{[&] {
        ::TerminateProcess(process.Get(), 0);
        ::WaitForSingleObject(process.Get(), 30000);
        if (pendingBefore.empty()) {
            ::RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames);
        } else {
            ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, REG_MULTI_SZ, pendingBefore.data(),
                              static_cast<DWORD>(pendingBefore.size()));
        }
    }};
    ASSERT_FALSE(::DeleteFileA(target.c_str())) << "this system deletes a running program's file";

    ByteString replacement;
    SystemFileSystem().CreateUniqueFile(dir.Path().string(), 8, replacement)->Close();
    ASSERT_NO_THROW(SystemFileSystem().Replace(target, replacement));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
    const std::string pending = PendingRenames();
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "Demo.exe" || pending.find("\\" + name + '\0') != std::string::npos) << name << " stays";
    }
}
#endif

}  // namespace
}  // namespace patcher

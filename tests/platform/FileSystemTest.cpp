#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "tests/support/OtherProcess.h"
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

#ifdef _WIN32
const std::string kSeparator = "\\";
#else
const std::string kSeparator = "/";
#endif

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

// Only the system's "not found" makes a file absent: one it cannot look up may be there all the same, and the
// answer says why it cannot tell.
TEST(SystemFileSystem, CallsAFileAbsentOnlyWhereTheSystemSaysItIsNotThere) {
    TempDir dir;
    FileSystem& files = SystemFileSystem();
    const auto file = dir.Write("VokarEn.exe", {1});
    EXPECT_EQ(files.LookUpFile(file).Is, Presence::File);
    EXPECT_EQ(files.LookUpFile(dir.File("absent.exe")).Is, Presence::Absent);
    EXPECT_EQ(files.LookUpFile(dir.File("absent") + kSeparator + "VokarEn.exe").Is, Presence::Absent);
    EXPECT_EQ(files.LookUpFile(dir.Path().string()).Is, Presence::Unknown);
#ifdef _WIN32
    const FilePresence badName = files.LookUpFile(dir.File("Vokar<En>.exe"));
    EXPECT_EQ(badName.Is, Presence::Unknown);
    EXPECT_EQ(badName.SystemCode, static_cast<unsigned long>(ERROR_INVALID_NAME));
#else
    const std::string loop = dir.File("loop");
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const FilePresence looped = files.LookUpFile(loop + "/VokarEn.exe");
    EXPECT_EQ(looped.Is, Presence::Unknown);
    EXPECT_EQ(looped.SystemCode, static_cast<unsigned long>(ELOOP));
#endif
}

// A reader lets every other program do anything, even replace the file: a check must not stand in the way of
// an update running beside it.
TEST(SystemFileSystem, LetsOthersWriteAndDeleteWhileItReads) {
    TempDir dir;
    const auto path = dir.Write("shared.bin", {1, 2, 3});
    auto reader = SystemFileSystem().OpenForReading(path);
    // A second reader, and a program that renames or deletes the file, may open it meanwhile.
    auto second = SystemFileSystem().OpenForReading(path);
#ifdef _WIN32
    {
        const win32::UniqueFileHandle deleter(::CreateFileA(path.c_str(), DELETE,
                                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                            nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(deleter) << "error " << ::GetLastError();
    }
#endif
    // And a writer.
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
    EXPECT_EQ(files.LookUpFile(inFile).Is, Presence::Unknown);
    EXPECT_FALSE(files.DirectoryExists(inFolder));
    EXPECT_THROW(files.OpenForReading(inFile), PlatformError);
    EXPECT_THROW(files.CheckWritable(inFile), PlatformError);
    ByteString created;
    EXPECT_THROW(files.CreateFileBeside(inFolder + "VokarEn.exe", created), PlatformError);
    EXPECT_THROW(files.OpenForReplacing(inFile), PlatformError);
    EXPECT_THROW(files.PlaceNewFile(inFile, dir.Write("new.bin", {1})), PlatformError);
    EXPECT_THROW(files.OpenForReplacing(file)->ReplaceWith(dir.File("new.bin") + std::string(1, '\0')), PlatformError);
    EXPECT_FALSE(files.Delete(inFile));
    EXPECT_EQ(ReadWhole(file), (Bytes{0x4D, 0x5A}));
}

// Made and written through one handle, beside the file it stands for, under a name no longer than that file's
// where that leaves enough to guess.
TEST(SystemFileSystem, CreatesAFileUnderAFreshShortNameBesideAnother) {
    TempDir dir;
    for (const std::size_t longest : {std::size_t{3}, std::size_t{10}, std::size_t{40}}) {
        ByteString path;
        const auto file = SystemFileSystem().CreateFileBeside(dir.File(std::string(longest, 'v')), path);
        file->Write(Bytes{7, 8, 9});
        file->Close();
        EXPECT_EQ(ReadWhole(path), (Bytes{7, 8, 9}));
        EXPECT_EQ(std::filesystem::path(path).parent_path(), dir.Path());
        EXPECT_LE(std::filesystem::path(path).filename().string().size(), std::max<std::size_t>(longest, 8)) << path;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

// A new file is put only where none is; a held file is replaced in one step by a file beside it, which takes
// its place and its attributes, and nothing else stays in the folder.
TEST(SystemFileSystem, PlacesANewFileOnlyWhereNoneIsAndReplacesAHeldOne) {
    TempDir dir;
    FileSystem& files = SystemFileSystem();
    const std::string target = dir.File("VokarEn.exe");
    EXPECT_EQ(files.OpenForReplacing(target), nullptr);
    EXPECT_EQ(files.OpenForReplacing(dir.File("absent") + kSeparator + "VokarEn.exe"), nullptr);

    ByteString first;
    files.CreateFileBeside(target, first)->Close();
    EXPECT_TRUE(files.PlaceNewFile(target, first));
    ByteString second;
    const auto written = files.CreateFileBeside(target, second);
    written->Write(Bytes{4, 5});
    written->Close();
    EXPECT_FALSE(files.PlaceNewFile(target, second)) << "a new file went over one that was there";
    EXPECT_EQ(ReadWhole(target), Bytes{});
    EXPECT_EQ(ReadWhole(second), (Bytes{4, 5}));

#ifdef _WIN32
    ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
#else
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
#endif
    const auto held = files.OpenForReplacing(target);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->Size(), 0);
    held->ReplaceWith(second);
    EXPECT_EQ(ReadWhole(target), (Bytes{4, 5}));
#ifdef _WIN32
    EXPECT_EQ(::GetFileAttributesA(target.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
#else
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
#endif
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
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

std::wstring Wide(const std::string& path) {
    return std::filesystem::path(path).wstring();
}

// While the target is held for replacing, another program may read it but not write it, so that what was
// recognised through the hold is what the swap replaces.
TEST(SystemFileSystem, HoldsTheTargetAgainstOtherWritersUntilTheSwap) {
    TempDir dir;
    const std::string target = dir.Write("VokarEn.exe", {1, 2, 3});
    const std::string other = dir.Write("other.bin", {9, 9});
    ByteString replacement;
    const auto file = SystemFileSystem().CreateFileBeside(target, replacement);
    file->Write(Bytes{4, 5});
    file->Close();

    const auto held = SystemFileSystem().OpenForReplacing(target);
    ASSERT_NE(held, nullptr);
    EXPECT_NE(testing::CopyInAnotherProcess(Wide(other), Wide(target)), 0u) << "another program wrote the held file";
    EXPECT_EQ(ReadWhole(target), (Bytes{1, 2, 3}));
    const win32::UniqueFileHandle writer(::CreateFileA(target.c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                       OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_NO_THROW(SystemFileSystem().OpenForReading(target)->ReadByte());
    held->Seek(2);
    EXPECT_EQ(held->ReadByte(), 3);

    held->ReplaceWith(replacement);
    EXPECT_EQ(ReadWhole(target), (Bytes{4, 5}));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(replacement)));
}

// The file of a running program cannot be replaced while it runs: it is the program's to let go of, and is
// waited for as a file in use, never moved aside.
TEST(SystemFileSystem, HoldsARunningProgramsFileAsOneInUse) {
    TempDir dir;
    char self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    const std::string target = dir.File("Demo.exe");
    ASSERT_TRUE(::CopyFileA(self, target.c_str(), TRUE));
    const auto size = std::filesystem::file_size(target);
    // The copy runs, held before its first instruction.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(::CreateProcessA(target.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &started));
    const win32::UniqueKernelHandle process(started.hProcess), thread(started.hThread);

    ByteString replacement;
    SystemFileSystem().CreateFileBeside(target, replacement)->Close();
    try {
        const auto held = SystemFileSystem().OpenForReplacing(target);
        EXPECT_NE(held, nullptr);
        if (held != nullptr) {
            held->ReplaceWith(replacement);
            ADD_FAILURE() << "a running program's file was replaced";
        }
    } catch (const FileInUseError& error) {
        EXPECT_EQ(error.SystemCode(), static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    }
    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), 30000);
    EXPECT_EQ(std::filesystem::file_size(target), size);
    SystemFileSystem().Delete(replacement);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}
#endif

}  // namespace
}  // namespace patcher

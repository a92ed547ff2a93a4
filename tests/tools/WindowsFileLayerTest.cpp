// patchkit's file layer as it works on Windows: folders and files replaced by moves, old outputs that cannot go
// found before anything is written, places compared as the file system compares names, and what a release
// folder and the console may take. Under Wine, a test cannot make a link itself: the links that lead out of a
// release are the end-to-end runs' (tests/e2e/PatchkitExeTest.cpp).
#include <windows.h>
// windows.h names the system's ReplaceFileW so; the one tested here is OutputFolder.h's.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/ReleaseFolder.h"
#include "tools/patchkit/win32/ConsoleText.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;
using testing::WriteFile;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void MakeReadOnly(const fs::path& file) {
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
}

// The message of what `write` throws, or "(written)".
template <typename Write>
std::string Refusal(Write write) {
    try {
        write();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(written)";
}

TEST(WindowsOutputFolder, AFileReplacesAnOldOneButNeverAReadOnlyOneOrAFolder) {
    testing::TempDir dir;
    const fs::path file = dir.Path() / "VokarEn-1.5.3-patch.exe";
    ReplaceFile(file, Bytes{1, 2});
    ReplaceFile(file, Bytes{3});
    EXPECT_EQ(ReadBytes(file), Bytes{3});

    MakeReadOnly(file);
    const std::string readOnly = Refusal([&] { ReplaceFile(file, Bytes{4}); });
    EXPECT_NE(readOnly.find("read-only"), std::string::npos) << readOnly;
    EXPECT_EQ(ReadBytes(file), Bytes{3});

    fs::create_directories(dir.Path() / "folder.exe");
    const std::string folder = Refusal([&] { OutputTree(dir.Path()).Put("folder.exe", Bytes{5}); });
    EXPECT_NE(folder.find("a folder"), std::string::npos) << folder;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"VokarEn-1.5.3-patch.exe", "folder.exe"}))
        << "a scratch file was left beside them";
}

TEST(WindowsInputFiles, PlacesCompareWhateverTheCaseOfTheirLetters) {
    testing::TempDir dir;
    fs::create_directories(dir.Path() / "Release" / "10");
    fs::create_directories(dir.Path() / "ReleaseNext");
    const fs::path release = ExistingRealPath(dir.Path() / "RELEASE");
    EXPECT_TRUE(IsWithin(RealPath(dir.Path() / "release" / "10" / "Not" / "yet"), release));
    EXPECT_TRUE(IsWithin(ExistingRealPath(dir.Path() / "release"), release));
    EXPECT_FALSE(IsWithin(ExistingRealPath(dir.Path() / "releasenext"), release));
    EXPECT_FALSE(IsWithin(release, ExistingRealPath(dir.Path() / "Release" / "10")));

    WriteFile(dir.Path() / "Release" / "10" / "help.chm", Bytes{1});
    EXPECT_TRUE(SameFile(dir.Path() / "Release" / "10" / "help.chm", dir.Path() / "RELEASE" / "10" / "HELP.CHM"));
    EXPECT_EQ(KindAt(dir.Path() / "release"), PathKind::Folder);
    EXPECT_EQ(KindAt(dir.Path() / "release" / "10" / "help.chm"), PathKind::Other);
    EXPECT_EQ(KindAt(dir.Path() / "missing"), PathKind::Missing);
}

TEST(WindowsInputFiles, OnlyARegularFileIsRead) {
    testing::TempDir dir;
    WriteFile(dir.Path() / "description.toml", Bytes{'a', 'b'});
    EXPECT_EQ(ReadRegularFile(dir.Path() / "description.toml", 2, "that a test reads"), (Bytes{'a', 'b'}));
    const auto refusal = [](const fs::path& path, std::uint64_t limit) {
        try {
            ReadRegularFile(path, limit, "that a test reads");
        } catch (const ReadError& error) {
            return std::string(error.what());
        }
        return std::string("(read)");
    };
    EXPECT_EQ(refusal(dir.Path() / "description.toml", 1), "2 bytes, more than the 1 that a test reads");
    EXPECT_EQ(refusal(dir.Path(), 10), "a folder, not a file");
    EXPECT_EQ(refusal("NUL", 10), "not a regular file");
}

TEST(WindowsReleaseFolder, APathIsReadOnlyBeneathTheFolder) {
    testing::TempDir dir;
    WriteFile(dir.Path() / "release" / "10" / "1" / "help.chm", Bytes{1, 2, 3});
    WriteFile(dir.Path() / "outside.chm", Bytes{9});
    const std::unique_ptr<ReleaseFolder> release = OpenReleaseFolder(dir.Path() / "release");
    const auto refusal = [&](const std::string& path) {
        try {
            release->Read(path, 100, "that a test reads");
        } catch (const ReadError& error) {
            return std::string(error.what());
        }
        return std::string("(read)");
    };
    EXPECT_EQ(release->Read("10/1/../1\\help.chm", 100, "that a test reads"), (Bytes{1, 2, 3}));
    EXPECT_EQ(refusal("10/../../outside.chm"), "it lies outside the release folder");
    EXPECT_EQ(refusal("10/.."), "it names the release folder, not a file");
    EXPECT_EQ(refusal("10/1/help.chm:stream"),
              "a name with a colon, which Windows reads as a drive or as a stream of a file");
    EXPECT_EQ(refusal("10/1"), "a folder, not a file");
}

TEST(WindowsConsoleText, ACharacterSplitBetweenPiecesWaitsForItsLastByte) {
    win32::Utf8Pieces pieces;
    // "Zażółć": ż is C5 BC, ó C3 B3, ł C5 82, ć C4 87.
    EXPECT_EQ(pieces.Take("Za\xC5"), L"Za");
    EXPECT_EQ(pieces.Take("\xBC\xC3"), L"\u017C");
    EXPECT_EQ(pieces.Take("\xB3\xC5\x82\xC4"), L"\u00F3\u0142");
    EXPECT_EQ(pieces.Take("\x87\n"), L"\u0107\n");
    EXPECT_EQ(pieces.Take("\xE2\x82"), L"");
    EXPECT_EQ(pieces.Rest(), L"\uFFFD");
}

}  // namespace
}  // namespace patcher::patchkit

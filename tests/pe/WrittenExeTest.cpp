// A program written by the resource writer, as Windows sees it: the checksum that the system computes, the
// resources that its loader finds, the version information that its file properties read, and the program
// itself starting and exiting with the code its new resource holds.
#include <gtest/gtest.h>

#include <windows.h>

#include <imagehlp.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/UniqueHandle.h"
#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/Win32TestHandles.h"
#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/ResourceWriter.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::pe {
namespace {

constexpr DWORD kStartDeadlineMs = 60000;

VersionInfo NewVersion() {
    VersionInfo info;
    info.FileVersion = {2, 1, 0, 7};
    info.ProductVersion = {2, 1, 0, 0};
    info.StringTables = {
        {u"040704E2", {{u"CompanyName", u"Qordex"}, {u"ProductName", u"Vokarion Deutsch \u00DCbungen"}}}};
    info.Translations = {{0x0407, 1250}};
    return info;
}

std::vector<PeResource> Written() {
    return {
        {ResourceId::Numbered(resources::kRcData), ResourceId::Named(u"EXITCODE"), 0x409, {42, 0, 0, 0}},
        {ResourceId::Numbered(resources::kRcData), ResourceId::Named(u"PVOKARDE1A"), 0x409, testing::Noise(250000, 3)},
        {ResourceId::Numbered(resources::kBitmap), ResourceId::Named(u"FLAG_DE"), 0x409, testing::Noise(392, 4)},
        {ResourceId::Numbered(resources::kVersion), ResourceId::Numbered(1), 0x409, VersionInfoResource(NewVersion())},
        {ResourceId::Named(u"TYPEFONT"), ResourceId::Numbered(3), 0x415, testing::Noise(33, 5)}};
}

class WrittenExe : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::vector<testing::StubProgram> stubs = testing::StubPrograms();
        ASSERT_EQ(stubs.size(), 1U);
        stub_ = stubs.front().Bytes;
        ASSERT_FALSE(stub_.empty()) << stubs.front().Path;
        image_ = WithResources(stub_, Written());
        path_ = dir_.Path() / "written.exe";
        testing::WriteFile(path_, image_);
    }

    // Starts a program and waits for its end: its exit code.
    static DWORD RunToEnd(const std::filesystem::path& exe) {
        std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &started)) {
            ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
            return 0xFFFFFFFF;
        }
        const win32::UniqueKernelHandle process(started.hProcess);
        const win32::UniqueKernelHandle thread(started.hThread);
        if (::WaitForSingleObject(process.Get(), kStartDeadlineMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.Get(), 1);
            ADD_FAILURE() << exe.string() << " did not end within " << kStartDeadlineMs << " ms";
            return 0xFFFFFFFF;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process.Get(), &code);
        return code;
    }

    testing::TempDir dir_;
    std::vector<std::uint8_t> stub_;
    std::vector<std::uint8_t> image_;
    std::filesystem::path path_;
};

TEST_F(WrittenExe, CarriesTheChecksumThatWindowsComputes) {
    DWORD inHeader = 0;
    DWORD computed = 0;
    ASSERT_EQ(::MapFileAndCheckSumW(path_.c_str(), &inHeader, &computed), static_cast<DWORD>(CHECKSUM_SUCCESS));
    EXPECT_EQ(inHeader, computed);
    EXPECT_EQ(PeChecksum(image_), computed);

    // A file of odd length ends in half a word: the system counts it as the low byte.
    std::vector<std::uint8_t> odd = image_;
    odd.push_back(0xC3);
    const std::filesystem::path oddPath = dir_.Path() / "odd.exe";
    testing::WriteFile(oddPath, odd);
    ASSERT_EQ(::MapFileAndCheckSumW(oddPath.c_str(), &inHeader, &computed), static_cast<DWORD>(CHECKSUM_SUCCESS));
    EXPECT_EQ(PeChecksum(odd), computed);
}

TEST_F(WrittenExe, CarriesResourcesThatTheLoaderFinds) {
    const win32::UniqueModule module(
        ::LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    const auto found = [&](const wchar_t* type, const wchar_t* name, WORD language) {
        const HRSRC resource = ::FindResourceExW(module.Get(), type, name, language);
        if (resource == nullptr) {
            return std::vector<std::uint8_t>();
        }
        const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module.Get(), resource)));
        return std::vector<std::uint8_t>(bytes, bytes + ::SizeofResource(module.Get(), resource));
    };
    const std::vector<PeResource> written = Written();
    EXPECT_EQ(found(MAKEINTRESOURCEW(10), L"EXITCODE", 0x409), written[0].Bytes);
    EXPECT_EQ(found(MAKEINTRESOURCEW(10), L"PVOKARDE1A", 0x409), written[1].Bytes);
    EXPECT_EQ(found(MAKEINTRESOURCEW(2), L"FLAG_DE", 0x409), written[2].Bytes);
    EXPECT_EQ(found(MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), 0x409), written[3].Bytes);
    EXPECT_EQ(found(L"TYPEFONT", MAKEINTRESOURCEW(3), 0x415), written[4].Bytes);
    // The stub's own manifest is still there.
    const std::vector<std::uint8_t> manifest = found(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0x409);
    EXPECT_NE(std::string(manifest.begin(), manifest.end()).find("<assembly"), std::string::npos);
}

TEST_F(WrittenExe, CarriesVersionInformationThatWindowsReads) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path_.c_str(), &ignored);
    ASSERT_GT(size, 0U);
    std::vector<std::uint8_t> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path_.c_str(), 0, size, info.data()));
    void* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040704E2\\ProductName", &text, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(text)), L"Vokarion Deutsch \u00DCbungen");
    void* fixed = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", &fixed, &length));
    const auto* numbers = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    EXPECT_EQ(numbers->dwFileVersionMS, 0x00020001U);
    EXPECT_EQ(numbers->dwFileVersionLS, 0x00000007U);
    void* translations = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &translations, &length));
    ASSERT_EQ(length, 4U);
    EXPECT_EQ(static_cast<const WORD*>(translations)[0], 0x0407);
    EXPECT_EQ(static_cast<const WORD*>(translations)[1], 1250);
}

// The stub exits with its own resource's 7; written, with the 42 that replaced it.
TEST_F(WrittenExe, StartsAndExitsWithTheCodeOfItsNewResource) {
    const std::filesystem::path stubPath = dir_.Path() / "stub.exe";
    testing::WriteFile(stubPath, stub_);
    EXPECT_EQ(RunToEnd(stubPath), 7U);
    EXPECT_EQ(RunToEnd(path_), 42U);
}

}  // namespace
}  // namespace patcher::pe

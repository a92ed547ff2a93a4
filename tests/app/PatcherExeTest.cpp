// The patcher exe as the build made it: what it imports, what it carries and what it is called. The PE
// facts come from our own reader; the resources are also looked up through the system, as the program
// itself and Windows' file properties find them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/FlagGlyph.h"
#include "engine/untPatcher.h"
#include "platform/win32/WideText.h"
#include "profile/ProductProfile.h"
#include "tables/PatchTablesFormat.h"
#include "tests/support/Win32TestHandles.h"
#include "tools/glyphs/FlagDrawing.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher {
namespace {

using pe::PeReader;

constexpr std::uint32_t kRcData = pe::resources::kRcData;
constexpr std::uint32_t kBitmap = pe::resources::kBitmap;
// The exe without its packed data, which is the stub and the patch's tables: the runtime of a static C++
// program (strings, exceptions, threads' support) is some 190 KB, the program's code and tables the rest (some
// 393 KB with the unattended runs, their log, the record read on any code page and the guarded swap). A budget
// that iostreams alone would break several times over.
constexpr std::uint64_t kSizeBudget = 400 * 1024;

std::filesystem::path ExePath() {
    return PATCHER_BUILD_PATCHER;
}

std::vector<std::uint8_t> ReadExe() {
    std::ifstream in(ExePath(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The exe's resources, for reading only.
win32::UniqueModule LoadAsData() {
    return win32::UniqueModule(
        ::LoadLibraryExW(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

std::span<const std::uint8_t> ResourceBytes(HMODULE module, const char* name, const char* type) {
    const HRSRC found = ::FindResourceA(module, name, type);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = ::LoadResource(module, found);  // part of the mapped module: nothing to free
    return std::span(static_cast<const std::uint8_t*>(::LockResource(loaded)), ::SizeofResource(module, found));
}

// The tables that the exe carries and installs at start-up: what it is named after and selects.
const PatchTables& ExeTables() {
    static const PatchTables tables = [] {
        const win32::UniqueModule module = LoadAsData();
        const std::string name(kPatchTablesResource);
        return ReadPatchTables(ResourceBytes(module.Get(), name.c_str(), MAKEINTRESOURCEA(kRcData)));
    }();
    return tables;
}

ProductProfile CompletedProfile() {
    ProductProfile profile;
    SetProductIdentity(profile, ExeTables());
    CompleteProfile(profile, ExeTables());
    return profile;
}

class PatcherExe : public ::testing::Test {
  protected:
    void SetUp() override {
        image_ = ReadExe();
        ASSERT_FALSE(image_.empty()) << "no exe at " << ExePath().string();
    }

    std::vector<std::uint8_t> image_;
};

TEST_F(PatcherExe, IsNamedAfterTheUpdate) {
    const ProductProfile profile = CompletedProfile();
    const std::string fileName(FileName(profile.UpdateIndex));
    const std::string expected =
        fileName.substr(0, fileName.rfind('.')) + "-" + ExeTables().UpdateVersion + "-patch.exe";
    EXPECT_EQ(ExePath().filename().string(), expected);
}

// Windows loads the known DLLs from System32 whatever lies beside the program, and comctl32 6 through the
// manifest from the side-by-side store; any other name could be answered by a DLL planted in the folder the
// patcher is started from.
TEST_F(PatcherExe, ImportsOnlyDllsThatWindowsLoadsFromSystem32) {
    const std::set<std::string> known = {"kernel32.dll", "user32.dll",  "gdi32.dll",    "advapi32.dll",
                                         "shell32.dll",  "ole32.dll",   "oleaut32.dll", "comdlg32.dll",
                                         "msvcrt.dll",   "comctl32.dll"};
    const PeReader reader(image_);
    EXPECT_EQ(reader.Is64Bit(), sizeof(void*) == 8);
    const std::vector<std::string> dlls = reader.ImportedDlls();
    std::set<std::string> seen;
    for (const std::string& dll : dlls) {
        seen.insert(Lower(dll));
        EXPECT_TRUE(known.contains(Lower(dll))) << dll << " is not loaded from System32 by Windows";
    }
    // The ones the program cannot do without are there, so the table was read at all.
    for (const char* needed : {"kernel32.dll", "user32.dll", "comdlg32.dll", "comctl32.dll"}) {
        EXPECT_TRUE(seen.contains(needed)) << needed;
    }
}

// A build can be repeated byte for byte only without the link time in it.
TEST_F(PatcherExe, CarriesNoTimeStamps) {
    const PeReader reader(image_);
    EXPECT_EQ(reader.TimeStamp(), 0U);
    EXPECT_EQ(reader.ResourceTimeStamp(), 0U);
}

TEST_F(PatcherExe, WithoutItsPackedDataStaysWithinItsSizeBudget) {
    const PeReader::ResourceTotal packed = PeReader(image_).ResourcesOfType(kRcData);
    EXPECT_GT(packed.Count, 0);
    const std::uint64_t rest = image_.size() - packed.Bytes;
    std::printf("exe: %zu bytes, %llu in %d packed resources, %llu without them\n", image_.size(),
                static_cast<unsigned long long>(packed.Bytes), packed.Count, static_cast<unsigned long long>(rest));
    EXPECT_LE(rest, kSizeBudget);
}

// Its tables, which it installs at start-up (ExeTables reads them as the patcher does, refusing any that it
// would refuse), and the packed data of every file that they select.
TEST_F(PatcherExe, CarriesItsTablesAndThePackedDataOfEverySelectedFile) {
    const win32::UniqueModule module = LoadAsData();
    ASSERT_TRUE(module);
    ASSERT_NO_THROW(ExeTables());
    const ProductProfile profile = CompletedProfile();
    int found = 1;
    for (int file = 1; file <= 12; ++file) {
        for (const int slot : {1, 2}) {
            const std::string name(ResourceName(file, slot));
            if (!profile.SelectedFiles.Contains(file) || name.empty()) {
                continue;
            }
            EXPECT_FALSE(ResourceBytes(module.Get(), name.c_str(), MAKEINTRESOURCEA(kRcData)).empty()) << name;
            ++found;
        }
    }
    EXPECT_GT(found, 0);
    EXPECT_EQ(PeReader(image_).ResourcesOfType(kRcData).Count, found);
}

TEST_F(PatcherExe, CarriesTheFlagPicturesAsDrawn) {
    const win32::UniqueModule module = LoadAsData();
    ASSERT_TRUE(module);
    EXPECT_EQ(PeReader(image_).ResourcesOfType(kBitmap).Count, 4);
    for (const MainControl flag :
         {MainControl::btnPolski, MainControl::btnAngielski, MainControl::btnNiemiecki, MainControl::btnFrancuski}) {
        const std::string name(FlagGlyphResourceName(flag));
        const std::span<const std::uint8_t> carried =
            ResourceBytes(module.Get(), name.c_str(), MAKEINTRESOURCEA(kBitmap));
        ASSERT_FALSE(carried.empty()) << name;
        // A BITMAP resource is the file without its 14-byte file header.
        const std::vector<std::uint8_t> drawn = glyphs::FlagGlyphFile(flag);
        EXPECT_TRUE(std::equal(carried.begin(), carried.end(), drawn.begin() + 14, drawn.end())) << name;
    }
}

TEST_F(PatcherExe, VersionInformationNamesTheProductInPolishAndEnglish) {
    const std::wstring path = ExePath().wstring();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0U);
    std::vector<std::uint8_t> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    const auto value = [&](const std::wstring& name) {
        void* text = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(info.data(), name.c_str(), &text, &length) || text == nullptr || length == 0) {
            return std::wstring(L"(missing)");
        }
        return std::wstring(static_cast<const wchar_t*>(text), length - 1);  // without the terminating zero
    };
    // "Vokarion Języka Angielskiego", Polish letters intact.
    const std::wstring product = win32::WideFromBytes(ExeTables().UpdateTitle[0], 1250);
    const std::wstring version = win32::WideFromBytes(ExeTables().UpdateVersion, 1250);
    for (const std::wstring block : {L"041504E2", L"040904E2"}) {
        const std::wstring prefix = L"\\StringFileInfo\\" + block + L"\\";
        EXPECT_EQ(value(prefix + L"ProductName"), product);
        EXPECT_EQ(value(prefix + L"ProductVersion"), version);
        EXPECT_EQ(value(prefix + L"FileVersion"), version);
        EXPECT_EQ(value(prefix + L"CompanyName"), L"Qordex");
        EXPECT_EQ(value(prefix + L"OriginalFilename"), ExePath().filename().wstring());
        EXPECT_NE(value(prefix + L"FileDescription").find(product), std::wstring::npos);
    }

    void* translations = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &translations, &length));
    const std::vector<WORD> pairs(static_cast<const WORD*>(translations),
                                  static_cast<const WORD*>(translations) + length / sizeof(WORD));
    EXPECT_EQ(pairs, (std::vector<WORD>{0x0415, 1250, 0x0409, 1250}));

    void* fixed = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", &fixed, &length));
    const auto* numbers = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(ExeTables().UpdateVersion.c_str(), "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(numbers->dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(numbers->dwFileVersionLS, patch << 16);
    EXPECT_EQ(numbers->dwProductVersionMS, major << 16 | minor);
    EXPECT_EQ(numbers->dwFileDateMS, 0U);  // no build date
    EXPECT_EQ(numbers->dwFileDateLS, 0U);
}

TEST_F(PatcherExe, ManifestAsksForAdministratorsCommonControlsAndPerMonitorDpi) {
    const win32::UniqueModule module = LoadAsData();
    ASSERT_TRUE(module);
    const std::span<const std::uint8_t> bytes = ResourceBytes(module.Get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_FALSE(bytes.empty());
    const std::string manifest(bytes.begin(), bytes.end());
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "level=\"requireAdministrator\" uiAccess=\"false\"", ">true/pm</dpiAware>",
                             ">PerMonitorV2, PerMonitor</dpiAwareness>",
                             "{e2011457-1546-43c5-a5fe-008deee3d3f0}",     // Vista
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {  // 10 and 11
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

}  // namespace
}  // namespace patcher

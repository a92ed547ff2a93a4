// The i686 exe is the one that ships, but a machine without 32-bit support cannot run it: there the Windows
// tests run the x86_64 build of the same sources. What the two files must share is checked here, on the
// files themselves: the resources (packed data, flag pictures, manifest, version information) byte for
// byte, the DLLs they import, their security flags and their subsystem.
//
// Imported function names are not compared: the same sources import different functions on the two
// processors. The i686 windows.h makes GetWindowLongPtrW and SetWindowLongPtrW the 32-bit functions without
// "Ptr"; the x86_64 runtime unwinds exceptions through kernel32's RtlUnwindEx and its kin, where the i686
// start-up code looks for a shared libgcc (LoadLibraryA, FreeLibrary); and the C runtime hands some of its
// data to 32-bit programs through functions (__p__fmode, not _fmode). A list of these exceptions would only
// restate the toolchain's runtimes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/FileBytes.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher {
namespace {

namespace fs = std::filesystem;
using pe::PeReader;

using pe::optional::kDynamicBase;
using pe::optional::kHighEntropyVa;
using pe::optional::kNxCompatible;
using pe::optional::kSubsystemWindowsGui;

// The patcher that patchkit wrote into a folder from one target's stub.
struct BuiltExe {
    fs::path Path;
    std::vector<std::uint8_t> Bytes;
};

BuiltExe ReadBuiltExe(const fs::path& folder) {
    BuiltExe exe;
    std::error_code absent;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, absent)) {
        if (entry.path().extension() == ".exe") {
            exe.Path = entry.path();
        }
    }
    std::ifstream in(exe.Path, std::ios::binary);
    exe.Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return exe;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "#10 PVOKAREN1A 1033: 722639 bytes": a resource as a failure message names it.
std::string Describe(const PeReader::Resource& resource) {
    return resource.Type.Text() + " " + resource.Name.Text() + " " + std::to_string(resource.Language) + ": " +
           std::to_string(resource.Bytes.size()) + " bytes";
}

class ShippedExe : public ::testing::Test {
  protected:
    void SetUp() override {
        i686_ = ReadBuiltExe(PATCHER_WIN32_PATCHER_DIR);
        x86_64_ = ReadBuiltExe(PATCHER_WIN64_PATCHER_DIR);
        ASSERT_FALSE(i686_.Bytes.empty()) << "no i686 patcher in " PATCHER_WIN32_PATCHER_DIR " (./run test makes it)";
        ASSERT_FALSE(x86_64_.Bytes.empty())
            << "no x86_64 patcher in " PATCHER_WIN64_PATCHER_DIR " (./run test makes it)";
    }

    BuiltExe i686_;
    BuiltExe x86_64_;
};

TEST_F(ShippedExe, BothAreWindowsGuiProgramsOfTheSameNameForTheirProcessors) {
    const PeReader i686(i686_.Bytes);
    const PeReader x86_64(x86_64_.Bytes);
    EXPECT_FALSE(i686.Is64Bit()) << i686_.Path;
    EXPECT_TRUE(x86_64.Is64Bit()) << x86_64_.Path;
    EXPECT_EQ(i686.Subsystem(), kSubsystemWindowsGui);
    EXPECT_EQ(x86_64.Subsystem(), kSubsystemWindowsGui);
    EXPECT_EQ(i686_.Path.filename(), x86_64_.Path.filename());
}

TEST_F(ShippedExe, CarriesTheSameResourcesByteForByte) {
    const std::vector<PeReader::Resource> shipped = PeReader(i686_.Bytes).Resources();
    const std::vector<PeReader::Resource> tested = PeReader(x86_64_.Bytes).Resources();
    std::vector<std::string> shippedList;
    std::vector<std::string> testedList;
    std::transform(shipped.begin(), shipped.end(), std::back_inserter(shippedList), Describe);
    std::transform(tested.begin(), tested.end(), std::back_inserter(testedList), Describe);
    ASSERT_EQ(shippedList, testedList);
    for (std::size_t i = 0; i < shipped.size(); ++i) {
        EXPECT_TRUE(std::ranges::equal(shipped[i].Bytes, tested[i].Bytes)) << shippedList[i] << " differs";
    }
    // Every kind the program carries was found: packed data, flag pictures, version information, manifest.
    std::set<std::string> types;
    for (const PeReader::Resource& resource : shipped) {
        types.insert(resource.Type.Text());
    }
    EXPECT_EQ(types, (std::set<std::string>{"#10", "#2", "#16", "#24"}));
}

// Also the C runtime's: a program that tests well on one runtime proves nothing of another one.
TEST_F(ShippedExe, ImportsFromTheSameDlls) {
    // The import libraries spell some names in capitals on one processor and not on the other; Windows
    // looks them up regardless of case.
    const auto dlls = [](const std::vector<std::uint8_t>& image) {
        std::set<std::string> names;
        for (const std::string& dll : PeReader(image).ImportedDlls()) {
            names.insert(Lower(dll));
        }
        return names;
    };
    const std::set<std::string> shipped = dlls(i686_.Bytes);
    EXPECT_TRUE(shipped.contains("kernel32.dll"));
    EXPECT_EQ(shipped, dlls(x86_64_.Bytes));
}

// Address space layout randomisation (which needs the relocations to move the image) and no code run from
// data, on both; the x86_64 exe's addresses spread over its whole address space as well.
TEST_F(ShippedExe, HasTheSameSecurityFlags) {
    const PeReader i686(i686_.Bytes);
    const PeReader x86_64(x86_64_.Bytes);
    for (const auto& [exe, name] : {std::pair(&i686, "i686"), std::pair(&x86_64, "x86_64")}) {
        EXPECT_EQ(exe->DllCharacteristics() & kDynamicBase, kDynamicBase) << name;
        EXPECT_EQ(exe->DllCharacteristics() & kNxCompatible, kNxCompatible) << name;
        EXPECT_TRUE(exe->HasRelocations()) << name;
    }
    EXPECT_EQ(x86_64.DllCharacteristics() & kHighEntropyVa, kHighEntropyVa);
    // Apart from the flag that only a 64-bit address space has room for, the flags are the same.
    EXPECT_EQ(i686.DllCharacteristics(), static_cast<std::uint16_t>(x86_64.DllCharacteristics() & ~kHighEntropyVa));
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "profile/ProductProfile.h"
#include "shell/InstallDirLookup.h"
#include "shell/untKod.h"
#include "tests/support/InstalledBuildTables.h"
#include "tests/support/MemoryRegistry.h"

namespace patcher {
namespace {

using testing::MemoryRegistry;

constexpr auto kUser = RegistryHive::CurrentUser;
constexpr auto kMachine = RegistryHive::LocalMachine;
constexpr const char* kKind4Key = "Software\\Vokarion\\DeuVokarion";

ProductProfile Profile(int kind, int productIndex) {
    ProductProfile profile;
    profile.ProductKind = kind;
    profile.ProductIndex = productIndex;
    return profile;
}

class FindInstallDirTest : public ::testing::Test {
  protected:
    // The record as the product's installer writes it: scrambled name, scrambled data.
    void Record(RegistryHive hive, int product, const std::string& directory) {
        registry_.SetString(hive, std::string(ProductKeyTable(product)), ScrambledName(product),
                            Kod.Encode(directory, product, 5));
    }
    static std::string ScrambledName(int product) { return Kod.Encode("Katalog", product, 5); }
    static std::string Key(int product) { return std::string(ProductKeyTable(product)); }

    ByteString Find(int kind, int product) { return FindInstallDir(Profile(kind, product), registry_); }

    void TearDown() override { EXPECT_EQ(registry_.KeysOpen(), 0) << "a registry key was left open"; }

    MemoryRegistry registry_;
};

TEST_F(FindInstallDirTest, FindsTheRecordOfThisBuildsProduct) {
    ProductProfile profile;
    SetProductIdentity(profile);
    Record(kMachine, 2, "C:\\Program Files\\Vokarion Języka Angielskiego\\");
    EXPECT_EQ(FindInstallDir(profile, registry_), "C:\\Program Files\\Vokarion Języka Angielskiego\\");
    // The name on record is scrambled, not "Katalog" itself.
    EXPECT_NE(ScrambledName(2), "Katalog");
}

TEST_F(FindInstallDirTest, CurrentUserWinsOverLocalMachine) {
    Record(kUser, 2, "D:\\User\\");
    Record(kMachine, 2, "C:\\Machine\\");
    EXPECT_EQ(Find(1, 2), "D:\\User\\");
    ASSERT_EQ(registry_.Opened().size(), 1u);
    EXPECT_EQ(registry_.Opened()[0].Hive, kUser);
    EXPECT_EQ(registry_.Opened()[0].Path, "SOFTWARE\\Qordex\\EngVokar");
}

TEST_F(FindInstallDirTest, LocalMachineIsConsultedWhenTheCurrentUserHasNoRecord) {
    Record(kMachine, 2, "C:\\Machine\\");
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");  // no key for the current user at all

    registry_.AddKey(kUser, Key(2));
    registry_.SetString(kUser, Key(2), "Other", "X");
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");  // the key, but neither value

    registry_.RefuseKey(kUser, Key(2));
    Record(kUser, 2, "D:\\Refused\\");
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");  // the key, but access refused
}

TEST_F(FindInstallDirTest, AnEmptyValueCountsAsNoRecord) {
    Record(kMachine, 2, "C:\\Machine\\");
    registry_.SetValue(kUser, Key(2), ScrambledName(2), kRegistryString, "");
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");
    registry_.SetValue(kUser, Key(2), ScrambledName(2), kRegistryString, std::string(1, '\0'));
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");
    // Empty data is empty whatever its type.
    registry_.SetValue(kUser, Key(2), ScrambledName(2), kRegistryDword, "");
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");
}

TEST_F(FindInstallDirTest, TheScrambledNameWinsOverThePlainOneAndThePlainOneIsUnscrambledToo) {
    registry_.SetString(kUser, Key(2), "Katalog", Kod.Encode("D:\\Plain\\", 2, 5));
    EXPECT_EQ(Find(1, 2), "D:\\Plain\\");

    Record(kUser, 2, "D:\\Scrambled\\");
    EXPECT_EQ(Find(1, 2), "D:\\Scrambled\\");

    // Plain text under the plain name goes through the unscrambler all the same.
    registry_.SetString(kMachine, Key(2), "Katalog", "C:\\Plain text\\");
    EXPECT_EQ(Find(1, 2), "D:\\Scrambled\\");
    MemoryRegistry plainOnly;
    plainOnly.SetString(kMachine, Key(2), "Katalog", "C:\\Plain text\\");
    const ByteString found = FindInstallDir(Profile(1, 2), plainOnly);
    EXPECT_EQ(found, Kod.Decode("C:\\Plain text\\", 2, 5));
    EXPECT_NE(found, "C:\\Plain text\\");
}

TEST_F(FindInstallDirTest, EveryProductKindButFourReadsTheProductKey) {
    for (const int kind : {1, 2, 3, 5, 6}) {
        for (const int product : {1, 4, 6, 9}) {
            MemoryRegistry registry;
            registry.SetString(kMachine, Key(product), ScrambledName(product), Kod.Encode("E:\\Product\\", product, 5));
            EXPECT_EQ(FindInstallDir(Profile(kind, product), registry), "E:\\Product\\")
                << "kind " << kind << ", product " << product;
        }
    }
}

TEST_F(FindInstallDirTest, ProductsWithAPlainMethodUseThePlainNameAndText) {
    registry_.SetString(kUser, Key(8), "Katalog", "F:\\Italiano\\");
    EXPECT_EQ(ScrambledName(8), "Katalog");
    EXPECT_EQ(Find(1, 8), "F:\\Italiano\\");
}

TEST_F(FindInstallDirTest, KindFourReadsItsFixedKeyInTheLocalMachineOnlyAndUnscrambledNot) {
    registry_.SetString(kUser, kKind4Key, "Katalog", "D:\\User\\");
    Record(kUser, 4, "D:\\Product key\\");
    Record(kMachine, 4, "C:\\Product key\\");
    registry_.SetString(kMachine, kKind4Key, "Katalog", "C:\\Programme\\Vokarion\\");
    EXPECT_EQ(Find(4, 4), "C:\\Programme\\Vokarion\\");
    ASSERT_EQ(registry_.Opened().size(), 1u);
    EXPECT_EQ(registry_.Opened()[0].Hive, kMachine);
    EXPECT_EQ(registry_.Opened()[0].Path, kKind4Key);

    MemoryRegistry userOnly;
    userOnly.SetString(kUser, kKind4Key, "Katalog", "D:\\User\\");
    EXPECT_EQ(FindInstallDir(Profile(4, 4), userOnly), "");
}

TEST_F(FindInstallDirTest, OtherKindsLookNowhere) {
    Record(kUser, 2, "D:\\User\\");
    Record(kMachine, 2, "C:\\Machine\\");
    for (const int kind : {0, 7, -1, 100}) {
        EXPECT_EQ(Find(kind, 2), "") << "kind " << kind;
    }
    EXPECT_TRUE(registry_.Opened().empty());
}

TEST_F(FindInstallDirTest, AProductIndexOutsideTheTableFindsNothing) {
    Record(kMachine, 2, "C:\\Machine\\");
    EXPECT_EQ(Find(1, 0), "");
    EXPECT_EQ(Find(1, 11), "");
}

TEST_F(FindInstallDirTest, ANonStringValueUnderTheScrambledNameEndsThatHive) {
    Record(kMachine, 2, "C:\\Machine\\");
    registry_.SetString(kUser, Key(2), "Katalog", Kod.Encode("D:\\Plain\\", 2, 5));
    for (const RegistryValueType type : {kRegistryDword, kRegistryBinary, kRegistryMultiString}) {
        registry_.SetValue(kUser, Key(2), ScrambledName(2), type, Kod.Encode("D:\\User\\", 2, 5) + '\0');
        EXPECT_EQ(Find(1, 2), "C:\\Machine\\") << "type " << type;
    }
    // With no record in the local machine's hive, nothing is found at all.
    MemoryRegistry userOnly;
    userOnly.SetValue(kUser, Key(2), ScrambledName(2), kRegistryDword, std::string("\x01\0\0\0", 4));
    userOnly.SetString(kUser, Key(2), "Katalog", Kod.Encode("D:\\Plain\\", 2, 5));
    EXPECT_EQ(FindInstallDir(Profile(1, 2), userOnly), "");
}

TEST_F(FindInstallDirTest, AFailedReadEndsThatHiveOnly) {
    Record(kUser, 2, "D:\\User\\");
    Record(kMachine, 2, "C:\\Machine\\");
    registry_.FailRead(kUser, Key(2), ScrambledName(2));
    EXPECT_EQ(Find(1, 2), "C:\\Machine\\");
    registry_.FailRead(kMachine, Key(2), ScrambledName(2));
    EXPECT_EQ(Find(1, 2), "");
}

TEST_F(FindInstallDirTest, StringsAreCutAtTheirFirstZeroAndNeedNoTerminator) {
    const std::string scrambled = Kod.Encode("C:\\Dir\\", 2, 5);
    registry_.SetValue(kUser, Key(2), ScrambledName(2), kRegistryString, scrambled);
    EXPECT_EQ(Find(1, 2), "C:\\Dir\\");
    registry_.SetValue(kUser, Key(2), ScrambledName(2), kRegistryString, scrambled + '\0' + "trailing junk");
    EXPECT_EQ(Find(1, 2), "C:\\Dir\\");
}

TEST_F(FindInstallDirTest, AnExpandableStringIsReturnedUnexpanded) {
    registry_.SetValue(kUser, Key(2), ScrambledName(2), kRegistryExpandString,
                       Kod.Encode("%ProgramFiles%\\Vokarion\\", 2, 5) + '\0');
    EXPECT_EQ(Find(1, 2), "%ProgramFiles%\\Vokarion\\");
}

}  // namespace
}  // namespace patcher

namespace patcher {
namespace {

// A machine whose code page is not the installer's 1250 reads the record through the A functions as other
// bytes: each hive is read again as the installer wrote it, and its folder named in the machine's code page.
class RecordOnAnotherCodePageTest : public FindInstallDirTest {
  protected:
    RecordOnAnotherCodePageTest() { registry_.AnsiCodePage = 1252; }

    ProductFolder Locate(const std::set<std::string>& folders) {
        return LocateInstallDir(Profile(1, 2), registry_,
                                {1252, [&](ByteStringView path) { return folders.count(std::string(path)) != 0; }});
    }
};

TEST_F(RecordOnAnotherCodePageTest, FindsTheRecordAsTheInstallerWroteIt) {
    Record(kMachine, 2, "C:\\Vokarion\\");
    const ProductFolder folder = Locate({"C:\\Vokarion\\"});
    EXPECT_EQ(folder.Path, "C:\\Vokarion\\");
    EXPECT_EQ(folder.Source, FolderSource::LocalMachineRecord);
    EXPECT_EQ(folder.Verdict, FolderVerdict::Unchecked);
    // Through the A functions first, in each hive, then as Windows-1250.
    ASSERT_EQ(registry_.Opened().size(), 4u);
    EXPECT_EQ(registry_.Opened()[2].Hive, kMachine);

    // The same machine's own code page names the folder as it names its letters: é is E9 in both.
    registry_ = {};
    registry_.AnsiCodePage = 1252;
    Record(kUser, 2, "C:\\Programme\\Vokarion \xE9t\xE9\\");
    EXPECT_EQ(Locate({"C:\\Programme\\Vokarion \xE9t\xE9\\"}).Path, "C:\\Programme\\Vokarion \xE9t\xE9\\");
}

// A folder with a letter that the machine's code page lacks cannot be reached through the A file functions:
// the run must say so, not that nothing was recorded.
TEST_F(RecordOnAnotherCodePageTest, AFolderTheCodePageCannotNameIsToldApart) {
    Record(kUser, 2, "C:\\Program Files (x86)\\S\xB3owniki Vokarion\\");  // "Słowniki"
    const ProductFolder folder = Locate({});
    EXPECT_EQ(folder.Verdict, FolderVerdict::NotInCodePage);
    EXPECT_EQ(folder.Path, "C:\\Program Files (x86)\\S\xB3owniki Vokarion\\");
    EXPECT_EQ(folder.Source, FolderSource::CurrentUserRecord);
}

// On the installer's own code page the record is read once, as the lookup always read it.
TEST_F(RecordOnAnotherCodePageTest, TheInstallersCodePageReadsOnce) {
    registry_.AnsiCodePage = 1250;
    Record(kUser, 2, "C:\\S\xB3owniki\\");
    const ProductFolder folder =
        LocateInstallDir(Profile(1, 2), registry_, {1250, [](ByteStringView) { return false; }});
    EXPECT_EQ(folder.Path, "C:\\S\xB3owniki\\");
    EXPECT_EQ(registry_.Opened().size(), 1u);
}

}  // namespace
}  // namespace patcher

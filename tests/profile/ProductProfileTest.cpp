#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "profile/ProductProfile.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

TEST(ProductProfile, SelectsFileOneAloneAfterStartUp) {
    ProductProfile profile;
    SetProductIdentity(profile);
    CompleteProfile(profile);

    std::vector<int> selected;
    for (int index = -1; index <= 300; ++index) {
        if (profile.SelectedFiles.Contains(index)) {
            selected.push_back(index);
        }
    }
    EXPECT_EQ(selected, std::vector<int>{1});
    EXPECT_EQ(profile.SelectedFiles.Bits[0], 0x02);
}

TEST(ProductProfile, MembershipFollowsTheBitLayoutAndStopsAt255) {
    SelectedFileSet set;
    set.Bits[1] = 0x10;   // member 12
    set.Bits[31] = 0x80;  // member 255
    EXPECT_TRUE(set.Contains(12));
    EXPECT_TRUE(set.Contains(255));
    EXPECT_FALSE(set.Contains(11));
    EXPECT_FALSE(set.Contains(13));
    EXPECT_FALSE(set.Contains(256));
    EXPECT_FALSE(set.Contains(256 + 12));
}

TEST(ProductProfile, ThisBuildServesTheEnglishEditionUpdate) {
    ProductProfile profile;
    SetProductIdentity(profile);
    CompleteProfile(profile);
    EXPECT_EQ(profile.ProductIndex, 2);
    EXPECT_EQ(profile.ProductLanguage, kEnglish);
    EXPECT_EQ(profile.ProductKind, 1);
    EXPECT_EQ(profile.UpdateIndex, 1);
    EXPECT_EQ(profile.TitleColumn, 1);
    EXPECT_EQ(ProductKeyTable(profile.ProductIndex), "SOFTWARE\\Qordex\\EngVokar");
    EXPECT_EQ(UpdateVersion(profile.UpdateIndex), "1.5.3");
}

// Start-up takes the profile's values from the tables it is given, the installed ones unless others are.
TEST(ProductProfile, TakesItsValuesFromTheTablesItIsGiven) {
    PatchTables tables;
    tables.ProductIndex = 4;
    tables.ProductLanguage = kGerman;
    tables.ProductKind = 6;
    tables.SelectedFiles[1] = 0x1F;  // files 8..12
    tables.UpdateIndex = 8;
    ProductProfile profile;
    SetProductIdentity(profile, tables);
    EXPECT_EQ(profile.ProductIndex, 4);
    EXPECT_EQ(profile.ProductLanguage, kGerman);
    EXPECT_EQ(profile.ProductKind, 6);
    EXPECT_FALSE(profile.SelectedFiles.Contains(8));
    CompleteProfile(profile, tables);
    EXPECT_TRUE(profile.SelectedFiles.Contains(8));
    EXPECT_TRUE(profile.SelectedFiles.Contains(12));
    EXPECT_FALSE(profile.SelectedFiles.Contains(1));
    EXPECT_EQ(profile.UpdateIndex, 8);
}

TEST(ProductTables, HoldTheFileNamesAndKeysByOneBasedIndex) {
    EXPECT_EQ(FileName(1), "VokarEn.exe");
    EXPECT_EQ(FileName(9), "VokarD.chm");
    EXPECT_EQ(FileName(10), "Sl_ZewD.chm");
    EXPECT_EQ(FileName(12), "VkIntDe.exe");
    EXPECT_EQ(ProductKeyTable(1), "SOFTWARE\\Qordex\\FrVokarion");
    EXPECT_EQ(ProductKeyTable(2), ProductKeyTable(3));
    EXPECT_EQ(ProductKeyTable(10), "SOFTWARE\\Qordex\\RusVokar");
    EXPECT_THROW(FileName(0), std::out_of_range);
    EXPECT_THROW(FileName(13), std::out_of_range);
    EXPECT_THROW(ProductKeyTable(11), std::out_of_range);
}

// The tables carry the title and version of one row, that of the update they bring, as Windows-1250 bytes.
TEST(ProductTables, NameTheUpdateThatThePatcherBringsAlone) {
    // "Vokarion Języka Angielskiego" with ę as the Windows-1250 byte 0xEA, in both columns.
    const ByteString english = "Vokarion J\xEAzyka Angielskiego";
    EXPECT_EQ(UpdateTitle(1, 1), english);
    EXPECT_EQ(UpdateTitle(1, 2), english);
    EXPECT_EQ(UpdateVersion(1), "1.5.3");
    EXPECT_EQ(BuildUpdateVersion(), "1.5.3");
    EXPECT_THROW(UpdateTitle(1, 3), std::out_of_range);
    EXPECT_THROW(UpdateTitle(1, 0), std::out_of_range);
    EXPECT_THROW(UpdateTitle(8, 1), std::out_of_range);
    EXPECT_THROW(UpdateVersion(3), std::out_of_range);
}

}  // namespace
}  // namespace patcher

#include <gtest/gtest.h>

#include "lang/MessageFormat.h"

namespace patcher {
namespace {

TEST(FormatText, SubstitutesPlaceholdersInOrder) {
    EXPECT_EQ(FormatText("Wersja %s", {"1.5.3"}), "Wersja 1.5.3");
    EXPECT_EQ(FormatText("%s - %s!", {"first", "second"}), "first - second!");
    EXPECT_EQ(FormatText("no placeholder", {"unused"}), "no placeholder");
    EXPECT_EQ(FormatText("", {}), "");
    EXPECT_EQ(FormatText("%s%s", {"", "b"}), "b");
}

TEST(FormatText, InsertsArgumentsLiterally) {
    EXPECT_EQ(FormatText("file %s.", {"C:\\100%s\\%d%"}), "file C:\\100%s\\%d%.");
    EXPECT_EQ(FormatText("%s and %s", {"%s", "%%"}), "%s and %%");
    ByteString withZero("a\0b", 3);
    EXPECT_EQ(FormatText("[%s]", {withZero}), ByteString("[a\0b]", 5));
}

TEST(FormatText, NeverReadsPastTheArguments) {
    EXPECT_EQ(FormatText("%s / %s / %s", {"one"}), "one /  / ");
    EXPECT_EQ(FormatText("%s", {}), "");
}

TEST(FormatText, LeavesOtherPercentSignsAlone) {
    EXPECT_EQ(FormatText("100%% done", {}), "100% done");
    EXPECT_EQ(FormatText("50%", {}), "50%");
    EXPECT_EQ(FormatText("%d %s", {"x"}), "%d x");
    EXPECT_EQ(FormatText("%", {"x"}), "%");
}

}  // namespace
}  // namespace patcher

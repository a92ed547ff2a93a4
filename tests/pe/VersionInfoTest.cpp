// The version information builder against what the resource compiler writes for the same information
// (the stubs carry the English patcher's, from ExitStub.rc), and the parser on both and on broken blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/pe/StubPrograms.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::pe {
namespace {

// What app/win32/Patcher.rc.in gives the English patcher 1.5.3, as ExitStub.rc repeats it.
VersionInfo EnglishPatcher() {
    VersionInfo info;
    info.FileVersion = {1, 5, 3, 0};
    info.ProductVersion = {1, 5, 3, 0};
    const std::u16string product = u"Vokarion J\u0119zyka Angielskiego";
    const auto table = [&](std::u16string key, std::u16string description) {
        return VersionInfo::StringTable{std::move(key),
                                        {{u"CompanyName", u"Qordex"},
                                         {u"FileDescription", product + description},
                                         {u"FileVersion", u"1.5.3"},
                                         {u"InternalName", u"VokarEn-1.5.3-patch"},
                                         {u"OriginalFilename", u"VokarEn-1.5.3-patch.exe"},
                                         {u"ProductName", product},
                                         {u"ProductVersion", u"1.5.3"}}};
    };
    info.StringTables = {table(u"041504E2", u" - uaktualnienie do wersji 1.5.3"),
                         table(u"040904E2", u" - update to version 1.5.3")};
    info.Translations = {{0x0415, 1250}, {0x0409, 1250}};
    return info;
}

TEST(VersionInfo, IsWhatTheResourceCompilerWritesForTheSameInformation) {
    const std::vector<testing::StubProgram> stubs = testing::StubPrograms();
    ASSERT_FALSE(stubs.empty());
    const std::vector<std::uint8_t> built = VersionInfoResource(EnglishPatcher());
    for (const testing::StubProgram& stub : stubs) {
        const PeReader reader(stub.Bytes);
        const std::span<const std::uint8_t> compiled =
            reader.FirstResource(resources::kVersion, ResourceId::Numbered(1));
        ASSERT_FALSE(compiled.empty()) << stub.Path;
        EXPECT_TRUE(std::ranges::equal(built, compiled))
            << stub.Path << ": " << built.size() << " bytes built, " << compiled.size() << " compiled";
        EXPECT_EQ(ParseVersionInfo(compiled), EnglishPatcher()) << stub.Path;
    }
}

// Keys and values of every length modulo four, an empty value, three tables, no translations, every fixed
// field set.
TEST(VersionInfo, ReadsBackWhatItWrites) {
    VersionInfo info;
    info.FileVersion = {65535, 0, 7, 65535};
    info.ProductVersion = {2, 1, 0, 0};
    info.FileFlagsMask = 0x17;
    info.FileFlags = 0x2;
    info.FileOs = 0x4;
    info.FileType = 2;
    info.FileSubtype = 9;
    info.StringTables = {{u"041504E2", {{u"A", u""}, {u"AB", u"x"}, {u"ABC", u"xy"}, {u"ABCD", u"xyz"}}},
                         {u"040904E2", {}},
                         {u"040704B0", {{u"Comments", u"\u00DCber \u0105"}}}};
    EXPECT_EQ(ParseVersionInfo(VersionInfoResource(info)), info);
    info.StringTables.clear();
    EXPECT_EQ(ParseVersionInfo(VersionInfoResource(info)), info);
    EXPECT_EQ(ParseVersionInfo(VersionInfoResource(EnglishPatcher())), EnglishPatcher());
}

TEST(VersionInfo, TakesVersionsOfOneToFourNumbers) {
    EXPECT_EQ(VersionNumbers("1.5.3"), (VersionInfo::Numbers{1, 5, 3, 0}));
    EXPECT_EQ(VersionNumbers("2"), (VersionInfo::Numbers{2, 0, 0, 0}));
    EXPECT_EQ(VersionNumbers("65535.0.12.65535"), (VersionInfo::Numbers{65535, 0, 12, 65535}));
    for (const char* wrong : {"", "1..2", "1.2.3.4.5", "65536", "1.a", "-1", "1.", ".1", " 1", "1.5.3 "}) {
        EXPECT_THROW(VersionNumbers(wrong), std::invalid_argument) << '"' << wrong << '"';
    }
}

TEST(VersionInfo, RefusesInformationLongerThanABlockCanSay) {
    VersionInfo info = EnglishPatcher();
    info.StringTables[0].Strings.emplace_back(u"Comments", std::u16string(33000, u'x'));
    EXPECT_THROW(VersionInfoResource(info), std::invalid_argument);
}

TEST(VersionInfo, RefusesBrokenBlocks) {
    const std::vector<std::uint8_t> good = VersionInfoResource(EnglishPatcher());
    // Every resource cut short: the root says it is longer than what is left.
    for (std::size_t size = 0; size < good.size(); ++size) {
        EXPECT_THROW(ParseVersionInfo(std::span(good).first(size)), std::invalid_argument) << size;
    }
    const auto broken = [&](std::size_t at, std::uint16_t value) {
        std::vector<std::uint8_t> bytes = good;
        Store16(bytes, at, value);
        return bytes;
    };
    // The first string table's place: after the root's key, fixed information and the StringFileInfo header.
    const std::size_t stringFileInfo =
        AlignUp<std::size_t>(version::kKey + sizeof(version::kRootKey), 4) + version::kFixedFileInfoSize;
    const std::size_t firstTable =
        stringFileInfo + AlignUp<std::size_t>(version::kKey + sizeof(version::kStringFileInfoKey), 4);
    ASSERT_EQ(Load16(good, firstTable + version::kKey), u'0');
    // A child longer than its parent, a child too short for its own header, a root of another name, fixed
    // information of the wrong size or signature.
    EXPECT_THROW(ParseVersionInfo(broken(firstTable + version::kLength, 0x7000)), std::invalid_argument);
    EXPECT_THROW(ParseVersionInfo(broken(firstTable + version::kLength, 0)), std::invalid_argument);
    EXPECT_THROW(ParseVersionInfo(broken(version::kKey, u'W')), std::invalid_argument);
    EXPECT_THROW(ParseVersionInfo(broken(version::kValueLength, 48)), std::invalid_argument);
    EXPECT_THROW(ParseVersionInfo(broken(stringFileInfo - version::kFixedFileInfoSize, 0)), std::invalid_argument);
    // A key that runs to the end of its block without its terminating zero.
    std::vector<std::uint8_t> endless = good;
    const std::size_t tableLength = Load16(good, firstTable + version::kLength);
    for (std::size_t at = firstTable + version::kKey; at < firstTable + tableLength; at += 2) {
        Store16(endless, at, u'K');
    }
    EXPECT_THROW(ParseVersionInfo(endless), std::invalid_argument);
}

}  // namespace
}  // namespace patcher::pe

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FileIndex.h"
#include "tests/support/TempDir.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/DescriptionShape.h"
#include "tools/patchkit/FamilyUpdates.h"
#include "tools/patchkit/Windows1250Text.h"

namespace patcher::patchkit {
namespace {

// Lines 1 to 14; the cases below change one of them or add some.
const std::string kBase =
    "ProductIndex = 4\n"                                   // 1
    "ProductLanguage = 3\n"                                // 2
    "ProductKind = 6\n"                                    // 3
    "UpdateIndex = 8\n"                                    // 4
    "SelectedFiles = [10, 8]\n"                            // 5
    "[File.8]\n"                                           // 6
    "Leading = [0]\n"                                      // 7
    "[File.8.Versions]\n"                                  // 8
    "1 = \"8/1/a.exe\"\n"                                  // 9
    "3 = \"8/3/a.exe\"\n"                                  // 10
    "4 = { Path = \"8/4/a.exe\", Leading = [7, 0x10] }\n"  // 11
    "[File.10]  # a help file\n"                           // 12
    "Versions = { 1 = \"10/1/b.chm\" }\n"                  // 13
    "\n";                                                  // 14

std::string WithLine(int number, const std::string& line) {
    std::string text;
    int at = 1;
    std::size_t start = 0;
    while (start < kBase.size()) {
        const std::size_t end = kBase.find('\n', start);
        text += at == number ? line : kBase.substr(start, end - start);
        text += '\n';
        start = end + 1;
        ++at;
    }
    return text;
}

std::string Refusal(const std::string& text) {
    try {
        ParsePatchDescription(text, "d/x.toml");
    } catch (const DescriptionError& error) {
        return error.what();
    }
    return "(accepted)";
}

TEST(PatchDescription, ReadsTheProfileTheBuildsAndTheirLeadingSamples) {
    const PatchDescription description = ParsePatchDescription(kBase, "descriptions/VokarDe-x.toml");
    EXPECT_EQ(description.Name, "VokarDe-x.toml");
    EXPECT_EQ(description.ProductIndex, 4);
    EXPECT_EQ(description.ProductLanguage, 3);
    EXPECT_EQ(description.ProductKind, 6);
    EXPECT_EQ(description.UpdateIndex, 8);
    EXPECT_EQ(description.SelectedFiles, (std::vector<int>{8, 10}));
    EXPECT_EQ(description.SelectedLines, (std::vector<int>{5, 5}));

    ASSERT_EQ(description.Files.size(), 2u);
    const DescribedFile& program = description.Files[0];
    EXPECT_EQ(program.FileIndex, 8);
    ASSERT_EQ(program.Builds.size(), 3u);
    // A build's number is its key, gaps and all.
    EXPECT_EQ(program.Builds[0].Version, 1);
    EXPECT_EQ(program.Builds[1].Version, 3);
    EXPECT_EQ(program.Builds[2].Version, 4);
    EXPECT_EQ(program.Builds[1].Path, "8/3/a.exe");
    EXPECT_EQ(program.Builds[1].Line, 10);
    // A build's own Leading replaces the file's.
    EXPECT_EQ(program.Builds[0].Leading, std::vector<std::int32_t>{0});
    EXPECT_EQ(program.Builds[0].LeadingLines, std::vector<int>{7});
    EXPECT_EQ(program.Builds[2].Leading, (std::vector<std::int32_t>{7, 16}));
    EXPECT_EQ(program.Builds[2].Line, 11);
    EXPECT_EQ(description.FindFile(10)->Builds.at(0).Leading, std::vector<std::int32_t>{});
    EXPECT_EQ(description.FindFile(9), nullptr);
    EXPECT_FALSE(program.FirstSlotBytes.has_value());

    // A split of its own.
    const PatchDescription split =
        ParsePatchDescription(WithLine(7, "Leading = [0]\nFirstSlotBytes = 1_500_000"), "d/x.toml");
    EXPECT_EQ(split.Files.at(0).FileIndex, 8);
    EXPECT_EQ(split.Files.at(0).FirstSlotBytes, 1500000);
    EXPECT_EQ(split.Files.at(0).FirstSlotLine, 8);
}

// Numbers stay as written, whatever the order and however many the gaps; the highest is the newest.
TEST(PatchDescription, KeepsEachBuildsNumberUpTo255) {
    const PatchDescription description = ParsePatchDescription(
        WithLine(13, "Versions = { 255 = \"10/255/b.chm\", 12 = \"10/12/b.chm\", 7 = \"10/7/b.chm\" }"), "d/x.toml");
    const DescribedFile& help = *description.FindFile(10);
    ASSERT_EQ(help.Builds.size(), 3u);
    EXPECT_EQ(help.Builds[0].Version, 7);
    EXPECT_EQ(help.Builds[1].Version, 12);
    EXPECT_EQ(help.Builds[2].Version, 255);
    EXPECT_EQ(help.Builds[2].Path, "10/255/b.chm");

    std::string many = "Versions = {";
    for (int number = 1; number <= 255; ++number) {
        many += (number == 1 ? " " : ", ") + std::to_string(number) + " = \"" + std::to_string(number) + "\"";
    }
    EXPECT_EQ(ParsePatchDescription(WithLine(13, many + " }"), "d/x.toml").FindFile(10)->Builds.size(), 255u);
}

// Without UpdateTitle and UpdateVersion, the family's for UpdateIndex; given, in UTF-8, as Windows-1250 bytes.
TEST(PatchDescription, ReadsTheUpdatesTitleAndVersionOrTakesTheFamilys) {
    const PatchDescription family = ParsePatchDescription(kBase, "d/x.toml");
    EXPECT_EQ(family.UpdateTitle[0], "Vokarion J\xEAzyka Niemieckiego");
    EXPECT_EQ(family.UpdateTitle[1], "Vokarion Deutsch-Polnisch");
    EXPECT_EQ(family.UpdateVersion, "2.1");
    EXPECT_EQ(family.UpdateTitleLine, 0);

    const PatchDescription own =
        ParsePatchDescription(WithLine(4,
                                       "UpdateIndex = 8\nUpdateVersion = \"2.2.0.65535\"\n"
                                       "UpdateTitle = [\"Vokarion J\xC4\x99zyka Niemieckiego \xE2\x80\x93 nowy\", "
                                       "\"Vokarion Deutsch-Polnisch f\xC3\xBCr Sch\xC3\xBCler\"]"),
                              "d/x.toml");
    EXPECT_EQ(own.UpdateVersion, "2.2.0.65535");
    EXPECT_EQ(own.UpdateVersionLine, 5);
    EXPECT_EQ(own.UpdateTitle[0], "Vokarion J\xEAzyka Niemieckiego \x96 nowy");
    EXPECT_EQ(own.UpdateTitle[1], "Vokarion Deutsch-Polnisch f\xFCr Sch\xFCler");
    EXPECT_EQ(own.UpdateTitleLine, 6);
    EXPECT_EQ(ParsePatchDescription(WithLine(4, "UpdateIndex = 8\nUpdateVersion = \"0\""), "d/x.toml").UpdateVersion,
              "0");
}

TEST(PatchDescription, RefusesWrongKeysTypesAndRangesNamingTheLine) {
    const struct {
        std::string Text;
        std::string Message;
    } cases[] = {
        {WithLine(3, "ProductKind = 7"), "d/x.toml:3: ProductKind must be from 1 to 6, not 7"},
        {WithLine(3, "ProductKind = 0"), "d/x.toml:3: ProductKind must be from 1 to 6, not 0"},
        {WithLine(2, "ProductLanguage = \"3\""),
         "d/x.toml:2: ProductLanguage must be a whole number from 1 to 3, not a string"},
        {WithLine(2, "ProductLanguage = 4"), "d/x.toml:2: ProductLanguage must be from 1 to 3, not 4"},
        {WithLine(1, "ProductIndex = 11"), "d/x.toml:1: ProductIndex must be from 1 to 10, not 11"},
        {WithLine(4, "UpdateIndex = 13"), "d/x.toml:4: UpdateIndex must be from 1 to 12, not 13"},
        {WithLine(4, "UpdateIndex = 8.0"),
         "d/x.toml:4: UpdateIndex must be a whole number from 1 to 12, not a floating-point number"},
        {WithLine(1, "Colour = 1"), "d/x.toml:1: unknown key \"Colour\" (a description holds ProductIndex"},
        {WithLine(1, ""), "d/x.toml: ProductIndex is not given"},
        {WithLine(5, "SelectedFiles = 8"), "d/x.toml:5: SelectedFiles must be an array, not an integer"},
        {WithLine(5, "SelectedFiles = []"), "d/x.toml:5: SelectedFiles selects no file"},
        {WithLine(5, "SelectedFiles = [8, 13]"), "d/x.toml:5: a selected file must be from 1 to 12, not 13"},
        {WithLine(5, "SelectedFiles = [8, 8]"), "d/x.toml:5: file 8 is selected twice"},
        {WithLine(5, "SelectedFiles = [\n8,\n5]"), "d/x.toml:7: file 5 is selected, but no version of it is described"},
        {WithLine(12, "[File.13]"), "d/x.toml:12: File.13: file indices go from 1 to 12"},
        {WithLine(12, "[File.x]"), "d/x.toml:12: File.x: file indices go from 1 to 12"},
        // One way to write an index: File.010 would describe file 10 under a second name.
        {WithLine(12, "[File.010]"), "d/x.toml:12: File.010: file indices go from 1 to 12, without leading zeros"},
        {WithLine(7, "Leading = [0]\nColour = 2"),
         "d/x.toml:8: file 8: unknown key \"Colour\" (a file holds Leading, Versions and FirstSlotBytes)"},
        {WithLine(7, "FirstSlotBytes = 0"), "d/x.toml:7: file 8: FirstSlotBytes must be from 1 to 2097152, not 0"},
        {WithLine(7, "FirstSlotBytes = 2097153"),
         "d/x.toml:7: file 8: FirstSlotBytes must be from 1 to 2097152, not 2097153"},
        {WithLine(7, "FirstSlotBytes = \"1000000\""),
         "d/x.toml:7: file 8: FirstSlotBytes must be a whole number from 1 to 2097152, not a string"},
        {WithLine(13, "Version = { 1 = \"10/1/b.chm\" }"), "d/x.toml:13: file 10: unknown key \"Version\""},
        {WithLine(13, "Versions = {}"), "d/x.toml:13: file 10: Versions lists no build"},
        // Numbers are written, never counted from a place in a list.
        {WithLine(13, "Versions = [\"10/1/b.chm\"]"),
         "d/x.toml:13: file 10: Versions must be a table that gives each build its number, as { 1 = "
         "\"1/1/VokarEn.exe\" }, not an array: a build's number never follows from its place in a list"},
        {WithLine(13, "Versions = \"10/1/b.chm\""),
         "d/x.toml:13: file 10: Versions must be a table that gives each build its number, as { 1 = "
         "\"1/1/VokarEn.exe\" }, not a string"},
        {WithLine(13, "Versions = { 256 = \"b\" }"),
         "d/x.toml:13: file 10: Versions.256: build numbers go from 1 to 255"},
        {WithLine(13, "Versions = { 0 = \"b\" }"), "d/x.toml:13: file 10: Versions.0: build numbers go from 1 to 255"},
        {WithLine(13, "Versions = { first = \"b\" }"),
         "d/x.toml:13: file 10: Versions.first: build numbers go from 1 to 255"},
        {WithLine(10, "3 = \"8/3/a.exe\"\n03 = \"8/3/b.exe\""),
         "d/x.toml:11: file 8: Versions.03 gives build 3 again, as Versions.3 on line 10 does"},
        {WithLine(13, "Versions = { 01 = \"a\", 1 = \"b\" }"),
         "d/x.toml:13: file 10: Versions.1 gives build 1 again, as Versions.01 on line 13 does"},
        {WithLine(13, "Versions = { 1 = { Version = 1, Path = \"b\" } }"),
         "d/x.toml:13: file 10 version 1: a build's number is its key in Versions, not a Version of its own"},
        {WithLine(13, "Versions = { 1 = 3 }"),
         "d/x.toml:13: file 10 version 1: a build is its path or a table with Path, not an integer"},
        {WithLine(13, "Versions = { 1 = { Leading = [1] } }"), "d/x.toml:13: file 10 version 1: a build without Path"},
        {WithLine(13, "Versions = { 1 = { Path = \"a\", Size = 3 } }"),
         "d/x.toml:13: file 10 version 1: unknown key \"Size\" (a build holds Path and Leading)"},
        {WithLine(13, "Versions = { 1 = { Path = 3 } }"), "d/x.toml:13: file 10 version 1: Path must be a string"},
        {WithLine(13, "Versions = { 1 = \"/srv/release/b.chm\" }"),
         "d/x.toml:13: file 10 version 1: the path \"/srv/release/b.chm\" must lie inside the release folder"},
        {WithLine(13, "Versions = { 1 = \"\" }"), "d/x.toml:13: file 10 version 1: the path \"\" must lie inside"},
        {WithLine(7, "Leading = [0, -1]"), "d/x.toml:7: file 8: a leading sample must be from 0 to 2147483647, not -1"},
        {WithLine(7, "Leading = [0,\n 5,\n 0]"), "d/x.toml:9: file 8: leading sample 0 is given twice"},
        {WithLine(7, "Leading = 0"), "d/x.toml:7: file 8: Leading must be an array, not an integer"},
        {WithLine(11, "4 = { Path = \"8/4/a.exe\", Leading = [\"7\"] }"),
         "d/x.toml:11: file 8 version 4: a leading sample must be a whole number"},
        {WithLine(3, "ProductKind = "), "d/x.toml:3: "},  // a syntax error, in toml++'s words
    };
    for (const auto& c : cases) {
        const std::string refusal = Refusal(c.Text);
        EXPECT_EQ(refusal.rfind(c.Message, 0), 0u) << "got:  " << refusal << "\nwant: " << c.Message;
        EXPECT_EQ(refusal.find('\n'), std::string::npos) << refusal;
    }

    const auto leading = [](int count) {
        std::string line = "Leading = [";
        for (int i = 1; i <= count; ++i) {
            line += (i == 1 ? "" : ", ") + std::to_string(i);
        }
        return line + "]";
    };
    EXPECT_EQ(Refusal(WithLine(7, leading(51))),
              "d/x.toml:7: file 8: Leading gives 51 samples, more than the 50 of a table");
    // Fifty are a whole table, and allowed.
    EXPECT_EQ(Refusal(WithLine(7, leading(50))), "(accepted)");
}

// The version as version information holds it, and titles that Windows-1250 can write and a line can show.
TEST(PatchDescription, RefusesAVersionOrTitleThatThePatcherCannotShowNamingTheLine) {
    const auto version = [](const std::string& value) {
        return Refusal(WithLine(4, "UpdateIndex = 8\nUpdateVersion = " + value));
    };
    EXPECT_EQ(version("1.5"),
              "d/x.toml:5: UpdateVersion must be a string such as \"1.5.4\", not a floating-point number");
    EXPECT_EQ(version("\"1.5.4.0.1\""),
              "d/x.toml:5: UpdateVersion \"1.5.4.0.1\" has 5 numbers; version information holds four at most");
    EXPECT_EQ(version("\"1.05\""), "d/x.toml:5: UpdateVersion \"1.05\" writes 05 with a leading zero");
    EXPECT_EQ(version("\"123456\""),
              "d/x.toml:5: UpdateVersion \"123456\" holds 123456, more than the 65535 that version information holds");
    EXPECT_EQ(
        version("\"1.5.65536\""),
        "d/x.toml:5: UpdateVersion \"1.5.65536\" holds 65536, more than the 65535 that version information holds");
    for (const char* bad : {"\"\"", "\" 1.5\"", "\"+1.5\"", "\"1..5\"", "\"1.5.\"", "\"v1.5\"", "\"1.5-beta\""}) {
        EXPECT_EQ(version(bad), "d/x.toml:5: UpdateVersion " + std::string(bad) +
                                    " must be numbers joined by dots, such as \"1.5.4\", without signs, blanks or "
                                    "letters");
    }

    const auto title = [](const std::string& value) {
        return Refusal(WithLine(4, "UpdateIndex = 8\nUpdateTitle = " + value));
    };
    EXPECT_EQ(title("\"Vokarion\""),
              "d/x.toml:5: UpdateTitle must be an array of the Polish and the foreign title, not a string");
    EXPECT_EQ(title("[\"Vokarion\"]"),
              "d/x.toml:5: UpdateTitle gives 1 titles; it takes two, the Polish and the foreign one");
    EXPECT_EQ(title("[\"a\", \"b\", \"c\"]"),
              "d/x.toml:5: UpdateTitle gives 3 titles; it takes two, the Polish and the foreign one");
    EXPECT_EQ(title("[\"Vokarion\", 2]"), "d/x.toml:5: UpdateTitle's foreign title must be a string, not an integer");
    EXPECT_EQ(title("[\"\", \"Vokarion\"]"), "d/x.toml:5: UpdateTitle's Polish title is empty");
    // A letter that Windows-1250 lacks, on the line of its title.
    EXPECT_EQ(title("[\n  \"Vokarion\",\n  \"Vokarion \xC5\x9C\"\n]"),
              "d/x.toml:7: UpdateTitle's foreign title holds \"\xC5\x9C\" (U+015C), which Windows-1250 has no letter "
              "for");
    EXPECT_EQ(title("[\"Vokarion \\t\", \"Vokarion\"]"),
              "d/x.toml:5: UpdateTitle's Polish title holds a control character, which would break a line of the "
              "window or the log");
    EXPECT_EQ(title("[\"Vokarion\", \"" + std::string(256, 'x') + "\"]"),
              "d/x.toml:5: UpdateTitle's foreign title has 256 letters, more than the 255 that the patcher's tables "
              "hold");
    EXPECT_EQ(title("[\"" + std::string(255, 'x') + "\", \"Vokarion\"]"), "(accepted)");
}

// What is checked before the TOML reader runs: the count of nesting that CheckDescriptionShape describes,
// which skips strings and comments as TOML delimits them; bytes outside them that are not ASCII; the size.
TEST(PatchDescription, RefusesTooDeepNotAsciiAndTooLargeTextBeforeReadingIt) {
    const auto shapeRefusal = [](const std::string& text) -> std::string {
        try {
            CheckDescriptionShape(text, "d/x.toml");
        } catch (const DescriptionError& error) {
            return error.what();
        }
        return "(accepted)";
    };
    const auto joined = [](int parts) {
        std::string key = "a";
        for (int i = 1; i < parts; ++i) {
            key += ".a";
        }
        return key;
    };
    const std::string tooDeep =
        ": tables, arrays and keys nest more than 32 levels deep here, far more than a description needs";
    // Each part of a header counts two, of a key one; each array or inline table one, with its keys.
    EXPECT_EQ(shapeRefusal("x = 1\n[" + joined(16) + "]\n"), "(accepted)");
    EXPECT_EQ(shapeRefusal("x = 1\n[[" + joined(17) + "]]\n"), "d/x.toml:2" + tooDeep);
    EXPECT_EQ(shapeRefusal(joined(32) + " = 1\n"), "(accepted)");
    EXPECT_EQ(shapeRefusal("[a]\n" + joined(31) + " = 1\n"), "d/x.toml:2" + tooDeep);
    EXPECT_EQ(shapeRefusal("a = " + std::string(31, '[') + std::string(31, ']')), "(accepted)");
    EXPECT_EQ(shapeRefusal("a = [\n" + std::string(31, '[') + std::string(31, ']') + "]"), "d/x.toml:2" + tooDeep);
    EXPECT_EQ(shapeRefusal("a = { b.c = { d = [{ e.f.g = 1 }] } }"), "(accepted)");
    EXPECT_EQ(shapeRefusal("a = { b = 1, " + joined(31) + " = 2 }"), "d/x.toml:1" + tooDeep);
    // Dots and brackets inside strings and comments are no nesting, however many.
    const std::string many = std::string(100, '.') + std::string(100, '[') + std::string(100, '{');
    EXPECT_EQ(shapeRefusal("a = \"" + many + "\\\"" + many + "\"\nb = '" + many + "'\n# " + many + "\nc = \"\"\"\n" +
                           many + "\"\"\"\"\nd = '''" + many + "\n'''\n\"" + many + "\" = 1\n"),
              "(accepted)");
    // A long string ends at its last three quotes: the key after it is counted, on its own line.
    EXPECT_EQ(shapeRefusal("c = \"\"\"x\"\"\"\"\"\n\n" + joined(33) + " = 1\n"), "d/x.toml:3" + tooDeep);

    EXPECT_EQ(shapeRefusal("\xEF\xBB\xBF"
                           "a = \"\xC3\xBC\" # \xD1\x9E\n"),
              "(accepted)");
    EXPECT_EQ(shapeRefusal("a = 1\nb\xD1\x9E = 2\n"),
              "d/x.toml:2: the byte 0xD1 stands outside a string and a comment, where a description holds ASCII "
              "alone");
    // A quote after a value starts no string; nor may a letter that is not ASCII follow a backslash, also past
    // the blanks of a line-ending backslash.
    EXPECT_EQ(shapeRefusal("a = 2'\xC3\xBC'\n").rfind("d/x.toml:1: the byte 0xC3 stands outside a string", 0), 0u);
    // A bare value reaches to the next blank, bracket, brace, comma or comment, over quotes and brackets.
    EXPECT_EQ(shapeRefusal("a = 5[\"\xC3\xBC\"]\n").rfind("d/x.toml:1: the byte 0xC3 stands outside", 0), 0u);
    EXPECT_EQ(shapeRefusal("a = [1,\"\xC3\xBC\"] # \xC3\xBC\nb = { c = true, d = '\xC3\xBC' }\n"), "(accepted)");
    EXPECT_EQ(shapeRefusal("a = \"\"\"x\\ \n \xC3\xBC\"\"\"\n"),
              "d/x.toml:2: the byte 0xC3 follows a backslash in a string, where TOML allows only an escape");

    std::string large = "a = 1\n#";
    large.resize(kMaxDescriptionBytes, 'x');
    EXPECT_EQ(shapeRefusal(large), "(accepted)");
    large += 'x';
    EXPECT_EQ(shapeRefusal(large), "d/x.toml: 1048577 bytes, more than the 1048576 that a description may have");
}

TEST(PatchDescription, ADescriptionThatCannotBeReadIsNamed) {
    testing::TempDir dir;
    try {
        ReadPatchDescription(dir.File("absent.toml"));
        FAIL() << "read a missing description";
    } catch (const DescriptionError& error) {
        EXPECT_EQ(std::string(error.what()), dir.File("absent.toml") + ": cannot be read (No such file or directory)");
    }
    const std::string path = dir.Write("ok.toml", std::vector<std::uint8_t>(kBase.begin(), kBase.end()));
    EXPECT_EQ(ReadPatchDescription(path).Source, path);
}

// The family's titles and versions, which a description without its own takes, are today's texts: written in
// UTF-8 and every one of them a Windows-1250 text.
TEST(FamilyUpdates, GiveEachRowTodaysTitlesAndVersion) {
    EXPECT_EQ(Windows1250FromUtf8(FamilyUpdateOf(1).PolishTitle), "Vokarion J\xEAzyka Angielskiego");
    EXPECT_EQ(FamilyUpdateOf(1).ForeignTitle, FamilyUpdateOf(1).PolishTitle);
    EXPECT_EQ(FamilyUpdateOf(1).Version, "1.5.3");
    EXPECT_EQ(FamilyUpdateOf(2).Version, "1.3");
    EXPECT_EQ(FamilyUpdateOf(3).Version, "1.02");
    EXPECT_EQ(FamilyUpdateOf(12).Version, "2.1");
    for (int row = 1; row <= kFileCount; ++row) {
        EXPECT_FALSE(Windows1250FromUtf8(FamilyUpdateOf(row).PolishTitle).empty()) << "row " << row;
        EXPECT_FALSE(Windows1250FromUtf8(FamilyUpdateOf(row).ForeignTitle).empty()) << "row " << row;
    }
    for (int row = 2; row <= 7; ++row) {
        EXPECT_EQ(FamilyUpdateOf(row).PolishTitle, FamilyUpdateOf(row).ForeignTitle) << "row " << row;
    }
    for (int row = 5; row <= 7; ++row) {
        EXPECT_EQ(FamilyUpdateOf(row).PolishTitle, FamilyUpdateOf(4).PolishTitle) << "row " << row;
    }
    for (int row = 8; row <= 12; ++row) {
        EXPECT_EQ(FamilyUpdateOf(row).ForeignTitle, "Vokarion Deutsch-Polnisch") << "row " << row;
    }
    EXPECT_THROW(FamilyUpdateOf(0), std::out_of_range);
    EXPECT_THROW(FamilyUpdateOf(13), std::out_of_range);
}

TEST(Windows1250Text, ConvertsFromUtf8AndRefusesWhatIsNotUtf8) {
    // "Łódź €"
    const std::string utf8 =
        "\xC5\x81\xC3\xB3"
        "d\xC5\xBA \xE2\x82\xAC";
    EXPECT_EQ(Windows1250FromUtf8(utf8),
              "\xA3\xF3"
              "d\x9F \x80");
    EXPECT_EQ(Utf8FromWindows1250("\xA3\xF3"
                                  "d\x9F \x80"),
              utf8);
    for (const char* broken : {"\xC4", "\xC0\x80", "\xED\xA0\x80", "\x80", "a\xF4\x90\x80\x80"}) {
        EXPECT_THROW(Windows1250FromUtf8(broken), NotWindows1250) << broken;
    }
    EXPECT_THROW(Utf8FromWindows1250("\x98"), NotWindows1250);
}

}  // namespace
}  // namespace patcher::patchkit

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/DescriptionShape.h"

namespace patcher::patchkit {
namespace {

// Lines 1 to 12; the cases below change one of them or add some.
const std::string kBase =
    "ProductIndex = 4\n"                                                   // 1
    "ProductLanguage = 3\n"                                                // 2
    "ProductKind = 6\n"                                                    // 3
    "UpdateIndex = 8\n"                                                    // 4
    "SelectedFiles = [10, 8]\n"                                            // 5
    "[File.8]\n"                                                           // 6
    "Leading = [0]\n"                                                      // 7
    "Versions = [\"8/1/a.exe\", { Version = 3, Path = \"8/3/a.exe\" },\n"  // 8
    "    { Path = \"8/4/a.exe\", Leading = [7, 0x10] }]\n"                 // 9
    "[File.10]  # a help file\n"                                           // 10
    "Versions = [\"10/1/b.chm\"]\n"                                        // 11
    "\n";                                                                  // 12

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
    // Numbers count on from the one before, where none is given.
    EXPECT_EQ(program.Builds[0].Version, 1);
    EXPECT_EQ(program.Builds[1].Version, 3);
    EXPECT_EQ(program.Builds[2].Version, 4);
    EXPECT_EQ(program.Builds[1].Path, "8/3/a.exe");
    // A build's own Leading replaces the file's.
    EXPECT_EQ(program.Builds[0].Leading, std::vector<std::int32_t>{0});
    EXPECT_EQ(program.Builds[0].LeadingLines, std::vector<int>{7});
    EXPECT_EQ(program.Builds[2].Leading, (std::vector<std::int32_t>{7, 16}));
    EXPECT_EQ(program.Builds[2].Line, 9);
    EXPECT_EQ(description.FindFile(10)->Builds.at(0).Leading, std::vector<std::int32_t>{});
    EXPECT_EQ(description.FindFile(9), nullptr);
    EXPECT_FALSE(program.FirstSlotBytes.has_value());

    // A split of its own.
    const PatchDescription split =
        ParsePatchDescription(WithLine(6, "[File.8]\nFirstSlotBytes = 1_500_000"), "d/x.toml");
    EXPECT_EQ(split.Files.at(0).FileIndex, 8);
    EXPECT_EQ(split.Files.at(0).FirstSlotBytes, 1500000);
    EXPECT_EQ(split.Files.at(0).FirstSlotLine, 7);
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
        {WithLine(10, "[File.13]"), "d/x.toml:10: File.13: file indices go from 1 to 12"},
        {WithLine(10, "[File.x]"), "d/x.toml:10: File.x: file indices go from 1 to 12"},
        // One way to write an index: File.010 would describe file 10 under a second name.
        {WithLine(10, "[File.010]"), "d/x.toml:10: File.010: file indices go from 1 to 12, without leading zeros"},
        {WithLine(7, "Leading = [0]\nColour = 2"),
         "d/x.toml:8: file 8: unknown key \"Colour\" (a file holds Leading, Versions and FirstSlotBytes)"},
        {WithLine(7, "FirstSlotBytes = 0"), "d/x.toml:7: file 8: FirstSlotBytes must be from 1 to 2097152, not 0"},
        {WithLine(7, "FirstSlotBytes = 2097153"),
         "d/x.toml:7: file 8: FirstSlotBytes must be from 1 to 2097152, not 2097153"},
        {WithLine(7, "FirstSlotBytes = \"1000000\""),
         "d/x.toml:7: file 8: FirstSlotBytes must be a whole number from 1 to 2097152, not a string"},
        {WithLine(11, "Version = [\"10/1/b.chm\"]"), "d/x.toml:11: file 10: unknown key \"Version\""},
        {WithLine(11, "Versions = []"), "d/x.toml:11: file 10: Versions lists no build"},
        {WithLine(11,
                  "Versions = [\"a\", \"b\", \"c\", \"d\", \"e\", \"f\", \"g\", \"h\", \"i\", \"j\", \"k\", \"l\"]"),
         "d/x.toml:11: file 10: Versions lists 12 builds; a file has at most 11 versions"},
        {WithLine(11, "Versions = [{ Version = 12, Path = \"b\" }]"),
         "d/x.toml:11: file 10: Version must be from 1 to 11, not 12"},
        {WithLine(11, "Versions = [\"a\", { Version = 1, Path = \"b\" }]"),
         "d/x.toml:11: file 10: version 1 follows version 1: versions are listed oldest first"},
        {WithLine(11, "Versions = [{ Version = 11, Path = \"a\" }, \"b\"]"),
         "d/x.toml:11: file 10 version 12: version numbers go from 1 to 11"},
        {WithLine(11, "Versions = [3]"),
         "d/x.toml:11: file 10: a version is its path or a table with Path, not an integer"},
        {WithLine(11, "Versions = [{ Version = 1 }]"), "d/x.toml:11: file 10: a version without Path"},
        {WithLine(11, "Versions = [{ Path = \"a\", Size = 3 }]"),
         "d/x.toml:11: file 10: unknown key \"Size\" (a version holds Path, Version and Leading)"},
        {WithLine(11, "Versions = [{ Path = 3 }]"), "d/x.toml:11: file 10 version 1: Path must be a string"},
        {WithLine(11, "Versions = [\"/srv/release/b.chm\"]"),
         "d/x.toml:11: file 10 version 1: the path \"/srv/release/b.chm\" must lie inside the release folder"},
        {WithLine(11, "Versions = [\"\"]"), "d/x.toml:11: file 10 version 1: the path \"\" must lie inside"},
        {WithLine(7, "Leading = [0, -1]"), "d/x.toml:7: file 8: a leading sample must be from 0 to 2147483647, not -1"},
        {WithLine(7, "Leading = [0,\n 5,\n 0]"), "d/x.toml:9: file 8: leading sample 0 is given twice"},
        {WithLine(7, "Leading = 0"), "d/x.toml:7: file 8: Leading must be an array, not an integer"},
        {WithLine(9, "    { Path = \"8/4/a.exe\", Leading = [\"7\"] }]"),
         "d/x.toml:9: file 8 version 4: a leading sample must be a whole number"},
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

}  // namespace
}  // namespace patcher::patchkit

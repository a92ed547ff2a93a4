#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/UDer.h"
#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"
#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/TinyRelease.h"
#include "tests/tools/WrittenPatcher.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/PatchBuild.h"
#include "tools/patchkit/StandinRelease.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ExitStub;
using testing::kTinyDescription;
using testing::kTinyPatcher;
using testing::Noise;
using testing::ReadBytes;
using testing::ReadText;
using testing::WriteFile;
using testing::WriteTinyRelease;
using testing::WrittenPatcher;

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Quick builds into the i686 exit stub.
BuildOptions Greedy() {
    BuildOptions options;
    options.Method = packer::ParseMethod::Greedy;
    options.Stub = ExitStub();
    return options;
}

// The tiny release in a folder of its own, and builds of it into Out().
class TinyRelease {
  public:
    TinyRelease() { WriteTinyRelease(Release()); }

    fs::path Release() const { return dir_.Path() / "release"; }
    fs::path Out() const { return dir_.Path() / "out"; }
    const testing::TempDir& Dir() const { return dir_; }

    void Add(const std::string& name, const Bytes& bytes) const { WriteFile(Release() / name, bytes); }

    std::string Describe(const std::string& text) const {
        return dir_.Write("patch.toml", Bytes(text.begin(), text.end()));
    }

    // The message of a refused build into Out(), with the description's path shortened to "patch.toml".
    std::string Refusal(const std::string& text, const BuildOptions& options = Greedy()) const {
        const std::string path = Describe(text);
        try {
            BuildPatch(path, Release(), Out(), options);
        } catch (const std::exception& error) {
            std::string message = error.what();
            if (message.rfind(path, 0) == 0) {
                message.replace(0, path.size(), "patch.toml");
            }
            return message;
        }
        return "(built)";
    }

  private:
    testing::TempDir dir_;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(PatchBuild, RefusesReleaseFilesThatCannotBeRead) {
    TinyRelease release;
    fs::remove(release.Release() / "10/2/help.chm");
    EXPECT_EQ(release.Refusal(kTinyDescription),
              "patch.toml:9: file 10 version 2: \"10/2/help.chm\" cannot be read (No such file or directory)");
    fs::create_directory(release.Release() / "10/2/help.chm");
    EXPECT_EQ(release.Refusal(kTinyDescription),
              "patch.toml:9: file 10 version 2: \"10/2/help.chm\" cannot be read (Is a directory)");
    fs::remove(release.Release() / "10/2/help.chm");
    release.Add("10/2/help.chm", {});
    EXPECT_EQ(release.Refusal(kTinyDescription),
              "patch.toml:9: file 10 version 2: \"10/2/help.chm\" is empty, and an empty file is never recognised");
    EXPECT_FALSE(fs::exists(release.Out()));
}

TEST(PatchBuild, RefusesNewContentThatItsSlotsCannotHold) {
    TinyRelease release;
    release.Add("10/2/help.chm", Noise(UnpackCapacity + 1, 2));
    EXPECT_EQ(release.Refusal(kTinyDescription),
              "patch.toml:9: file 10 version 2: \"10/2/help.chm\" has 2097153 bytes, too many for its row's one "
              "slot: slot 1 (PVOKARDE2HS) would hold 2097153, more than the 2097152 bytes that a slot unpacks to");

    // File 8's row has two slots, which hold 2 * 2,097,152 bytes at most; and each must hold a byte.
    const std::string program = Replaced(Replaced(Replaced(kTinyDescription, "[10]", "[8]"), "[File.10]", "[File.8]"),
                                         "UpdateIndex = 10", "UpdateIndex = 8");
    release.Add("10/2/help.chm", Noise(2 * UnpackCapacity + 1, 2));
    EXPECT_EQ(release.Refusal(program),
              "patch.toml:9: file 8 version 2: \"10/2/help.chm\" has 4194305 bytes, too many for its row's two "
              "slots: slot 2 (PVOKARDE2B) would hold 2097153, more than the 2097152 bytes that a slot unpacks to");
    release.Add("10/2/help.chm", {0x4D});
    EXPECT_EQ(release.Refusal(program),
              "patch.toml:9: file 8 version 2: \"10/2/help.chm\" has 1 bytes, too few for its row's two "
              "slots: slot 2 (PVOKARDE2B) would be empty");

    // A selected file whose row names no resource could never be rewritten.
    release.Add("10/2/help.chm", Noise(3100, 2));
    std::array<ByteStringView, 24> names{};
    std::copy(ResourceNameTable.begin(), ResourceNameTable.end(), names.begin());
    names[2 * (10 - 1)] = "";
    BuildOptions options = Greedy();
    options.ResourceNames = names;
    EXPECT_EQ(release.Refusal(kTinyDescription, options),
              "patch.toml:5: file 10 is selected, but its row of the resource table names no resource");
    names[2 * (10 - 1) + 1] = "PVOKARDE2HS";
    EXPECT_EQ(release.Refusal(kTinyDescription, options),
              "patch.toml:5: file 10 is selected, but its row of the resource table names no resource in slot 1");
    EXPECT_FALSE(fs::exists(release.Out()));
}

TEST(PatchBuild, RefusesBuildsThatNoSamplesTellApartAndLeadingSamplesOutOfPlace) {
    TinyRelease release;
    release.Add("10/2/help.chm", Noise(3000, 1));
    EXPECT_EQ(release.Refusal(kTinyDescription),
              "patch.toml:9: file 10 version 2: \"10/2/help.chm\" has the same size and bytes as version 1: no "
              "samples can tell them apart");

    release.Add("10/2/help.chm", Noise(3100, 2));
    EXPECT_EQ(release.Refusal(Replaced(kTinyDescription, "\"10/2/help.chm\"",
                                       "{ Path = \"10/2/help.chm\", Leading = [0,\n 3100] }")),
              "patch.toml:10: file 10 version 2: leading sample 3100 lies beyond the 3100 bytes of \"10/2/help.chm\"");

    release.Add("10/2/help.chm", Noise(3000, 2));
    EXPECT_EQ(
        release.Refusal(Replaced(kTinyDescription, "\"10/2/help.chm\"", "{ Path = \"10/2/help.chm\", Leading = [5] }")),
        "patch.toml:9: file 10 version 2: it has the size of version 1, whose samples it shares, and must "
        "lead with the same ones");

    release.Add("10/1/help.chm", Noise(30, 1));
    EXPECT_EQ(release.Refusal(kTinyDescription),
              "patch.toml:8: file 10 version 1: \"10/1/help.chm\" (30 bytes): too few bytes to take 50 distinct "
              "samples from");
    EXPECT_FALSE(fs::exists(release.Out()));
}

// Builds of equal size share their samples, and the patcher tells them apart by the samples where they
// differ. Fewer than two such samples, and one byte changed there turns one build into the other: the build
// refuses the pair, naming both builds and where they differ, and says what to do.
TEST(PatchBuild, RefusesBuildsOfOneSizeThatFewerThanTwoSamplesTellApart) {
    TinyRelease release;
    const std::string pair =
        "file 10 versions 1 and 2: \"10/1/help.chm\" and \"10/2/help.chm\" (3000 bytes each) differ ";
    Bytes second = Noise(3000, 1);
    second[1234] ^= 0x5A;
    release.Add("10/2/help.chm", second);
    const std::string oneByte = "patch.toml:9: " + pair +
                                "in one byte only, at offset 1234: one byte changed there (a damaged disk, another "
                                "program) would turn either into the other, so no samples tell them apart safely; "
                                "leave one of them out of the description";
    EXPECT_EQ(release.Refusal(kTinyDescription), oneByte);

    // Fifty leading samples, none of them where the builds differ: the same words, whoever picked the samples.
    std::string fifty = "Leading = [";
    for (int i = 1; i <= 50; ++i) {
        fifty += (i == 1 ? "" : ", ") + std::to_string(i * 20);
    }
    const std::string fiftyLeading = Replaced(kTinyDescription, "Versions.1", fifty + "]\nVersions.1");
    EXPECT_EQ(release.Refusal(fiftyLeading), Replaced(oneByte, "patch.toml:9:", "patch.toml:10:"));

    // Two bytes apart by one: both lie where one sample is taken.
    second[1235] ^= 0x33;
    release.Add("10/2/help.chm", second);
    const std::string oneSample = release.Refusal(kTinyDescription);
    const std::string where =
        "patch.toml:9: " + pair + "at 2 offsets (1234, 1235), but their samples take only offset ";
    EXPECT_EQ(oneSample.rfind(where, 0), 0u) << oneSample;
    EXPECT_TRUE(
        oneSample.ends_with(": one byte changed there (a damaged disk, another program) would turn either "
                            "into the other; give two offsets where they differ as Leading samples of every "
                            "build of 3000 bytes"))
        << oneSample;
    EXPECT_EQ(release.Refusal(fiftyLeading),
              "patch.toml:10: " + pair +
                  "at 2 offsets (1234, 1235), but their samples take none of them: the patcher cannot tell them apart; "
                  "give two offsets where they differ as Leading samples of every build of 3000 bytes");

    // As the words say: both offsets as leading samples, and the pair is told apart safely.
    EXPECT_EQ(release.Refusal(Replaced(kTinyDescription, "Versions.1", "Leading = [1234, 1235]\nVersions.1")),
              "(built)");
}

// File 8's row has two slots. A file of more than 1,000,000 + 2,097,152 bytes is split in the middle, so that
// both slots hold it up to 4 MiB; a description may give the split itself; a small one is halved too.
TEST(PatchBuild, SplitsANewBuildOverTwoSlotsWhereBothHoldIt) {
    TinyRelease release;
    const auto described = [](const std::string& file) {
        return Replaced(Replaced(Replaced(kTinyDescription, "[10]", "[8]"), "[File.10]", "[File.8]\n" + file),
                        "UpdateIndex = 10", "UpdateIndex = 8");
    };
    // The slots of file 8 as the patcher unpacks them, and their sizes as the build reports them.
    const auto built = [&](const std::string& description, const Bytes& newest) {
        const BuildFigures figures =
            BuildPatch(release.Describe(description), release.Release(), release.Out(), Greedy());
        WrittenPatcher patcher(release.Out() / figures.ExeName);
        std::vector<std::size_t> sizes;
        Bytes content;
        for (const SlotFigures& slot : figures.Slots) {
            sizes.push_back(slot.Size);
            const Bytes unpacked = patcher.Unpacked(slot.Name);
            content.insert(content.end(), unpacked.begin(), unpacked.end());
        }
        EXPECT_TRUE(content == newest);
        return sizes;
    };

    const Bytes largest = Noise(2 * UnpackCapacity, 3);
    release.Add("10/2/help.chm", largest);
    EXPECT_EQ(built(described(""), largest), (std::vector<std::size_t>{2097152, 2097152}));
    EXPECT_EQ(release.Refusal(described("FirstSlotBytes = 1000")),
              "patch.toml:7: file 8: FirstSlotBytes = 1000 leaves 4193304 bytes of the 4194304 of \"10/2/help.chm\" "
              "for slot 2 (PVOKARDE2B), more than the 2097152 bytes that a slot unpacks to");

    const Bytes small = Noise(30000, 4);
    release.Add("10/2/help.chm", small);
    EXPECT_EQ(built(described(""), small), (std::vector<std::size_t>{15000, 15000}));
    EXPECT_EQ(built(described("FirstSlotBytes = 10000"), small), (std::vector<std::size_t>{10000, 20000}));
    EXPECT_EQ(release.Refusal(described("FirstSlotBytes = 30000")),
              "patch.toml:7: file 8: FirstSlotBytes = 30000 leaves nothing for slot 2 (PVOKARDE2B) of the 30000 "
              "bytes of \"10/2/help.chm\", the newest build");
    EXPECT_EQ(release.Refusal(Replaced(kTinyDescription, "[File.10]", "[File.10]\nFirstSlotBytes = 100")),
              "patch.toml:7: file 10: FirstSlotBytes = 100 splits the file over two slots, but its row has one "
              "(PVOKARDE2HS)");
}

// A resource table that names one resource for two files (only a test can give one) would give the patcher
// one slot for both: no patcher is made of it, and nothing is written.
TEST(PatchBuild, RefusesResourceNamesThatTwoFilesShare) {
    TinyRelease release;
    release.Add("8/1/program.exe", Noise(5000, 8));
    const std::string description =
        Replaced(kTinyDescription, "[10]", "[8, 10]") + "[File.8]\nVersions = { 1 = \"8/1/program.exe\" }\n";
    std::array<ByteStringView, 24> names{};
    std::copy(ResourceNameTable.begin(), ResourceNameTable.end(), names.begin());
    names[2 * (8 - 1)] = names[2 * (10 - 1)];
    names[2 * (8 - 1) + 1] = "";
    BuildOptions options = Greedy();
    options.ResourceNames = names;
    EXPECT_EQ(release.Refusal(description, options),
              "the patcher cannot be made: resource #10 PVOKARDE2HS language 1033 is given twice");
    EXPECT_FALSE(fs::exists(release.Out()));
}

TEST(PatchBuild, ARefusedBuildLeavesAnEarlierPatcherAsItWas) {
    TinyRelease release;
    ASSERT_NO_THROW(BuildPatch(release.Describe(kTinyDescription), release.Release(), release.Out(), Greedy()));
    const Bytes built = ReadBytes(release.Out() / kTinyPatcher);
    fs::remove(release.Release() / "10/1/help.chm");
    EXPECT_NE(release.Refusal(kTinyDescription).find("cannot be read"), std::string::npos);
    EXPECT_EQ(Listing(release.Out()), std::set<std::string>{kTinyPatcher});
    EXPECT_TRUE(ReadBytes(release.Out() / kTinyPatcher) == built);
    EXPECT_EQ(Listing(release.Dir().Path()), (std::set<std::string>{"out", "patch.toml", "release"}));

    // The output folder may not hold what the build reads.
    EXPECT_THROW(BuildPatch(release.Describe(kTinyDescription), release.Release(), release.Dir().Path(), Greedy()),
                 std::runtime_error);
    EXPECT_TRUE(fs::exists(release.Release()));
}

// File 10 as in the tiny release, and file 8, whose row has two slots, with a build of 1,000,100 bytes.
TEST(PatchBuild, WritesOnePatcherAndTheSameBytesForTheSameInput) {
    TinyRelease release;
    const Bytes program = Noise(1000100, 8);
    release.Add("8/1/program.exe", program);
    const std::string description = release.Describe(Replaced(kTinyDescription, "[10]", "[10, 8]") +
                                                     "[File.8]\nVersions = { 1 = \"8/1/program.exe\" }\n");
    const fs::path other = release.Dir().Path() / "other";
    const BuildFigures figures = BuildPatch(description, release.Release(), release.Out(), Greedy());
    BuildPatch(description, release.Release(), other, Greedy());
    EXPECT_EQ(figures.ExeName, kTinyPatcher);
    EXPECT_EQ(Listing(release.Out()), std::set<std::string>{kTinyPatcher});
    const Bytes exe = ReadBytes(release.Out() / kTinyPatcher);
    EXPECT_EQ(figures.ExeBytes, exe.size());
    EXPECT_TRUE(ReadBytes(other / kTinyPatcher) == exe);

    // Built again into the same place: byte for byte what was there, and nothing left beside it; the patcher of
    // another update kept in the same folder stays.
    WriteFile(release.Out() / "VokarEn-1.5.3-patch.exe", std::string("another update's patcher"));
    BuildPatch(description, release.Release(), release.Out(), Greedy());
    EXPECT_TRUE(ReadBytes(release.Out() / kTinyPatcher) == exe);
    EXPECT_EQ(Listing(release.Out()), (std::set<std::string>{kTinyPatcher, "VokarEn-1.5.3-patch.exe"}));
    EXPECT_EQ(ReadText(release.Out() / "VokarEn-1.5.3-patch.exe"), "another update's patcher");
    EXPECT_EQ(Listing(release.Dir().Path()), (std::set<std::string>{"other", "out", "patch.toml", "release"}));

    // Each slot holds its part of the newest build.
    WrittenPatcher patcher(release.Out() / kTinyPatcher);
    const Bytes help = Noise(3100, 2);
    const std::map<std::string, std::pair<const Bytes*, std::pair<std::size_t, std::size_t>>> parts = {
        {"PVOKARDE2A", {&program, {0, 1000000}}},
        {"PVOKARDE2B", {&program, {1000000, 1000100}}},
        {"PVOKARDE2HS", {&help, {0, 3100}}},
    };
    for (const auto& [name, part] : parts) {
        const Bytes unpacked = patcher.Unpacked(name);
        const auto from = part.first->begin() + static_cast<std::ptrdiff_t>(part.second.first);
        const auto to = part.first->begin() + static_cast<std::ptrdiff_t>(part.second.second);
        EXPECT_TRUE(std::equal(unpacked.begin(), unpacked.end(), from, to)) << name;
    }
    ASSERT_EQ(figures.Slots.size(), 3u);
    EXPECT_EQ(figures.Slots[0].Name, "PVOKARDE2A");
    EXPECT_EQ(figures.Slots[1].Size, 100u);
    EXPECT_EQ(figures.Slots[2].PackedSize, patcher.Data("PVOKARDE2HS").size());
    EXPECT_EQ(figures.FilesRead, 3);
    EXPECT_EQ(figures.TablesPicked, 3);
    EXPECT_EQ(figures.ChangedSamplesRefused, 3u * 50 * 255);

    // The tables as the patcher reads them: the profile of the description, the family's title and version of
    // file 10's row, and the files left out unknown (no builds, no digest).
    const PatchTables read = patcher.Tables();
    EXPECT_EQ(read.ProductIndex, 2);
    EXPECT_EQ(read.UpdateIndex, 10);
    EXPECT_TRUE(read.Selects(8) && read.Selects(10) && !read.Selects(9));
    EXPECT_EQ(read.UpdateTitle[1], "Vokarion Deutsch-Polnisch");
    EXPECT_EQ(read.UpdateVersion, "2.1");
    ASSERT_EQ(read.Versions(10).size(), 2u);
    EXPECT_EQ(read.VersionSize(10, 1), 3000);
    EXPECT_EQ(read.VersionSize(10, 2), 3100);
    EXPECT_EQ(read.NewestVersion(10), 2);
    EXPECT_EQ(*read.NewContentDigest(10), (ContentDigest{3100, Crc32(help)}));
    EXPECT_EQ(read.VersionSize(8, 1), 1000100);
    EXPECT_TRUE(read.Versions(1).empty());
    EXPECT_EQ(read.NewContentDigest(1), nullptr);
}

Bytes ResourceOf(const pe::PeReader& reader, std::uint32_t type, const pe::ResourceId& name) {
    const std::span<const std::uint8_t> bytes = reader.FirstResource(type, name);
    return {bytes.begin(), bytes.end()};
}

// The patcher is the stub with the release's resources written into it: the stub's manifest and data stay as
// they were, and its version information gives way to that of the update, in both string tables.
TEST(PatchBuild, ThePatcherKeepsTheStubsResourcesAndReplacesItsVersionInformation) {
    TinyRelease release;
    BuildPatch(release.Describe(kTinyDescription), release.Release(), release.Out(), Greedy());
    WrittenPatcher patcher(release.Out() / kTinyPatcher);
    const Bytes stubBytes = ReadBytes(ExitStub());
    const pe::PeReader stub(stubBytes);

    std::vector<std::string> carried;
    for (const pe::PeReader::Resource& resource : patcher.Reader().Resources()) {
        carried.push_back(resource.Type.Text() + " " + resource.Name.Text() + " " + std::to_string(resource.Language));
    }
    EXPECT_EQ(carried, (std::vector<std::string>{"#10 EXITCODE 1033", "#10 PATCHTABLES 1033", "#10 PVOKARDE2HS 1033",
                                                 "#16 #1 1033", "#24 #1 1033"}));
    const pe::ResourceId first = pe::ResourceId::Numbered(1);
    const Bytes manifest = ResourceOf(patcher.Reader(), pe::resources::kManifest, first);
    EXPECT_NE(std::string(manifest.begin(), manifest.end()).find("<assembly"), std::string::npos);
    EXPECT_TRUE(manifest == ResourceOf(stub, pe::resources::kManifest, first));
    EXPECT_EQ(patcher.Data("EXITCODE"), (Bytes{7, 0, 0, 0}));

    const pe::VersionInfo stubs = pe::ParseVersionInfo(stub.FirstResource(pe::resources::kVersion, first));
    const pe::VersionInfo info = patcher.Version();
    EXPECT_EQ(stubs.FileVersion, (pe::VersionInfo::Numbers{1, 5, 3, 0}));
    EXPECT_EQ(info.FileVersion, (pe::VersionInfo::Numbers{2, 1, 0, 0}));
    EXPECT_EQ(info.ProductVersion, (pe::VersionInfo::Numbers{2, 1, 0, 0}));
    ASSERT_EQ(info.StringTables.size(), 2u);
    for (const pe::VersionInfo::StringTable& table : info.StringTables) {
        const std::map<std::u16string, std::u16string> strings(table.Strings.begin(), table.Strings.end());
        EXPECT_TRUE(strings.at(u"ProductName") == u"Vokarion J\u0119zyka Niemieckiego");
        EXPECT_TRUE(strings.at(u"OriginalFilename") == u"Sl_ZewD-2.1-patch.exe");
        EXPECT_TRUE(strings.at(u"ProductVersion") == u"2.1");
    }
    EXPECT_TRUE(info.StringTables[0].Key == u"041504E2");
    EXPECT_TRUE(info.StringTables[1].Key == u"040904E2");
}

#ifdef PATCHER_SOURCE_DIR
// The stand-ins as a release folder, written once for the tests below.
class StandinRelease : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new testing::TempDir;
        WriteStandinRelease(dir_->Path() / "standins");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static fs::path Standins() { return dir_->Path() / "standins"; }
    static fs::path Folder(const std::string& name) { return dir_->Path() / name; }

  private:
    static testing::TempDir* dir_;
};
testing::TempDir* StandinRelease::dir_ = nullptr;

std::string Description(const char* name) {
    return std::string(PATCHER_SOURCE_DIR) + "/descriptions/" + name;
}

// The tables of the family's files as text, one line per file and per build and five lines of samples per
// build, as tests/tools/PublishedTables.txt keeps them.
std::string FilesAsText(const PatchTables& tables) {
    std::string text;
    char line[160];
    for (int file = 1; file <= kFileCount; ++file) {
        const FileTables& row = tables.File(file);
        if (row.Versions.empty()) {
            text += "file " + std::to_string(file) + ": no builds\n";
            continue;
        }
        std::snprintf(line, sizeof line, "file %d: newest build %d, new content of %d bytes with CRC-32 0x%08X\n", file,
                      row.Newest, static_cast<int>(row.NewContent.Size), static_cast<unsigned>(row.NewContent.Crc32));
        text += line;
        for (const KnownVersion& version : row.Versions) {
            text += "build " + std::to_string(version.Number) + ": " + std::to_string(version.Size) + " bytes\n";
            for (std::size_t i = 0; i < version.Samples.size(); ++i) {
                std::snprintf(line, sizeof line, "%s%d:%02X", i % 10 == 0 ? "  " : " ",
                              static_cast<int>(version.Samples[i].Offset),
                              static_cast<unsigned>(version.Samples[i].Expected));
                text += line;
                if (i % 10 == 9) {
                    text += '\n';
                }
            }
        }
    }
    return text;
}

// The published tables, without their comment.
std::string PublishedTables() {
    std::istringstream lines(ReadText(fs::path(PATCHER_SOURCE_DIR) / "tests/tools/PublishedTables.txt"));
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("#")) {
            text += line + '\n';
        }
    }
    return text;
}

// The tables of the patcher that a build wrote into `folder`.
PatchTables TablesIn(const fs::path& folder, const BuildFigures& figures) {
    return WrittenPatcher(folder / figures.ExeName).Tables();
}

// Today's two descriptions, in the format that numbers each build itself, give exactly the tables that every
// patcher made from them so far carried: the same builds under the same numbers, of the same sizes, with the
// same samples and digests. A change to the picker, the stand-ins or the descriptions that would silently
// change them fails here.
TEST_F(StandinRelease, TodaysDescriptionsGiveThePublishedTables) {
    const std::string published = PublishedTables();
    ASSERT_NE(published.find("\nfile 12: newest build 2, "), std::string::npos);
    for (const char* name : {"VokarEn-1.5.3.toml", "VokarDe-2.1.toml"}) {
        const BuildFigures figures = BuildPatch(Description(name), Standins(), Folder(name), Greedy());
        EXPECT_EQ(FilesAsText(TablesIn(Folder(name), figures)), published)
            << name << " no longer gives the published tables of tests/tools/PublishedTables.txt";
    }
}

TEST_F(StandinRelease, TheEnglishBuildServesTheEnglishEditionsUpdateTo153) {
    const BuildFigures figures = BuildPatch(Description("VokarEn-1.5.3.toml"), Standins(), Folder("english"), Greedy());
    EXPECT_EQ(figures.ExeName, "VokarEn-1.5.3-patch.exe");
    WrittenPatcher patcher(Folder("english") / "VokarEn-1.5.3-patch.exe");
    const PatchTables tables = patcher.Tables();
    EXPECT_EQ(tables.ProductIndex, 2);
    EXPECT_EQ(tables.ProductLanguage, 1);
    EXPECT_EQ(tables.ProductKind, 1);
    EXPECT_EQ(tables.SelectedFiles, (std::array<std::uint8_t, 32>{0x02}));
    EXPECT_EQ(tables.UpdateIndex, 1);
    EXPECT_EQ(tables.UpdateTitle[0], "Vokarion J\xEAzyka Angielskiego");
    EXPECT_EQ(tables.UpdateTitle[1], "Vokarion J\xEAzyka Angielskiego");
    EXPECT_EQ(tables.UpdateVersion, "1.5.3");

    // What Windows' file properties show is what the English patcher's resource script gave them, which the exit
    // stub carries as the resource compiler wrote it: every number and both string tables, the Polish title.
    const Bytes stubBytes = ReadBytes(ExitStub());
    const pe::VersionInfo scripted = pe::ParseVersionInfo(
        pe::PeReader(stubBytes).FirstResource(pe::resources::kVersion, pe::ResourceId::Numbered(1)));
    const pe::VersionInfo info = patcher.Version();
    EXPECT_EQ(info, scripted);
    EXPECT_EQ(info.FileVersion, (pe::VersionInfo::Numbers{1, 5, 3, 0}));
    ASSERT_EQ(info.StringTables.size(), 2u);
    for (const pe::VersionInfo::StringTable& table : info.StringTables) {
        const std::map<std::u16string, std::u16string> strings(table.Strings.begin(), table.Strings.end());
        EXPECT_TRUE(strings.at(u"ProductName") == u"Vokarion J\u0119zyka Angielskiego");
    }
}

TEST_F(StandinRelease, TheGermanBuildServesTheGermanEditionFromFiveFiles) {
    const BuildFigures figures = BuildPatch(Description("VokarDe-2.1.toml"), Standins(), Folder("german"), Greedy());
    EXPECT_EQ(figures.ExeName, "VokarDe-2.1-patch.exe");
    WrittenPatcher patcher(Folder("german") / "VokarDe-2.1-patch.exe");
    const PatchTables tables = patcher.Tables();
    EXPECT_EQ(tables.ProductIndex, 4);
    EXPECT_EQ(tables.ProductLanguage, 3);  // German
    EXPECT_EQ(tables.ProductKind, 6);
    EXPECT_EQ(tables.SelectedFiles, (std::array<std::uint8_t, 32>{0x00, 0x1F}));  // files 8 to 12
    EXPECT_EQ(tables.UpdateIndex, 8);
    EXPECT_EQ(tables.UpdateTitle[0], "Vokarion J\xEAzyka Niemieckiego");
    EXPECT_EQ(tables.UpdateTitle[1], "Vokarion Deutsch-Polnisch");
    EXPECT_EQ(tables.UpdateVersion, "2.1");

    // Each selected file's newest build, split over its row's slots.
    const std::map<std::string, std::pair<std::string, std::size_t>> slots = {
        {"PVOKARDE2A", {"8/3/VokarDe.exe", 0}},        {"PVOKARDE2B", {"8/3/VokarDe.exe", 1000000}},
        {"PVOKARDE2HT", {"9/1/VokarD.chm", 0}},        {"PVOKARDE2HS", {"10/1/Sl_ZewD.chm", 0}},
        {"PVOKARDE2DI", {"11/2/DeInstalator.exe", 0}}, {"PVOKARDE2IT", {"12/2/VkIntDe.exe", 0}},
    };
    ASSERT_EQ(figures.Slots.size(), slots.size());
    for (const SlotFigures& slot : figures.Slots) {
        const auto& [path, from] = slots.at(slot.Name);
        const Bytes content = ReadBytes(Standins() / path);
        const std::size_t to = slot.Name == "PVOKARDE2A" ? 1000000 : content.size();
        const Bytes unpacked = patcher.Unpacked(slot.Name);
        EXPECT_TRUE(std::equal(unpacked.begin(), unpacked.end(), content.begin() + static_cast<std::ptrdiff_t>(from),
                               content.begin() + static_cast<std::ptrdiff_t>(to)))
            << slot.Name;
    }
}

// The next release: a build numbered 12, past the eleven of old, and the version that the description gives;
// builds 1 to 11 keep the numbers and samples that every earlier patcher knew them by.
TEST_F(StandinRelease, TheNextEnglishReleaseAddsBuildTwelveAndVersion154) {
    WriteStandinRelease(Folder("next-standins"), standin::NextSizes());
    const BuildFigures figures = BuildPatch(std::string(PATCHER_SOURCE_DIR) + "/tests/e2e/VokarEn-1.5.4.toml",
                                            Folder("next-standins"), Folder("next"), Greedy());
    EXPECT_EQ(figures.ExeName, "VokarEn-1.5.4-patch.exe");
    const PatchTables tables = TablesIn(Folder("next"), figures);
    ASSERT_EQ(tables.Versions(1).size(), 12u);
    EXPECT_EQ(tables.NewestVersion(1), 12);
    EXPECT_EQ(tables.VersionSize(1, 12), 2301952);
    EXPECT_EQ(tables.NewContentDigest(1)->Size, 2301952);
    EXPECT_EQ(tables.UpdateVersion, "1.5.4");
    // File 1's builds from build 1 up to what follows build 11.
    const auto buildsUpTo = [](const std::string& text, const std::string& after) {
        const std::size_t from = text.find("\nbuild 1:") + 1;
        return text.substr(from, text.find(after) - from);
    };
    EXPECT_EQ(buildsUpTo(FilesAsText(tables), "build 12:"), buildsUpTo(PublishedTables(), "file 2:"));
}
#endif

TEST(ReplaceFile, PutsTheNewBytesInPlaceAndLeavesNoScratchBeside) {
    testing::TempDir dir;
    ReplaceFile(dir.Path() / "names.cmake", Bytes{9});
    ReplaceFile(dir.Path() / "names.cmake", Bytes{10});
    EXPECT_EQ(ReadBytes(dir.Path() / "names.cmake"), Bytes{10});
    EXPECT_EQ(Listing(dir.Path()), (std::set<std::string>{"names.cmake"}));
}

// The output folder swapped for a link into the release after it was opened: the build looks at the folder it
// holds, which is no longer at that name, and writes beneath it, never through the link.
TEST(OutputTree, WritesIntoTheFolderItOpenedWhateverTakesItsNameMeanwhile) {
    testing::TempDir dir;
    const fs::path release = dir.Path() / "release";
    fs::create_directories(release);
    const OutputTree out(dir.Path() / "out");
    fs::rename(dir.Path() / "out", dir.Path() / "moved");
    fs::create_directory_symlink(release, dir.Path() / "out");

    EXPECT_EQ(out.Place(), fs::canonical(dir.Path() / "moved"));
    out.Put("VokarEn-1.5.3-patch.exe", Bytes{1, 2});
    EXPECT_EQ(ReadBytes(dir.Path() / "moved" / "VokarEn-1.5.3-patch.exe"), (Bytes{1, 2}));
    EXPECT_TRUE(fs::is_empty(release));
}

}  // namespace
}  // namespace patcher::patchkit

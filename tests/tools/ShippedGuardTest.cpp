// The guard against downgrades by shipped patchers: new builds made here that a shipped patcher would take for
// one of its older builds (a known build copied, its bytes changed where no sample of it lies), and builds it
// tells apart; shipped patchers read from their exes and derived from their descriptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/TestPatcher.h"
#include "tests/tools/TinyRelease.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/PatchBuild.h"
#include "tools/patchkit/ShippedGuard.h"
#include "tools/patchkit/StandinRelease.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::kTinyDescription;
using testing::Noise;
using testing::ReadBytes;
using testing::WriteFile;

// The tiny release's next description: a build 3 of file 10, on line 11.
const std::string kNextDescription = kTinyDescription + "Versions.3 = \"10/3/help.chm\"\n";

// `build` with one byte changed at each of `count` offsets that none of `version`'s samples takes.
Bytes ChangedWhereUnsampled(Bytes build, const KnownVersion& version, int count) {
    for (std::size_t at = 1; count > 0 && at < build.size(); at += 7) {
        if (std::none_of(version.Samples.begin(), version.Samples.end(),
                         [&](const SignatureEntry& sample) { return static_cast<std::size_t>(sample.Offset) == at; })) {
            build[at] ^= 0xA5;
            --count;
        }
    }
    return build;
}

std::string SortedOffsets(const KnownVersion& version) {
    std::vector<std::int32_t> offsets;
    for (const SignatureEntry& sample : version.Samples) {
        offsets.push_back(sample.Offset);
    }
    std::sort(offsets.begin(), offsets.end());
    std::string text;
    for (const std::int32_t offset : offsets) {
        text += (text.empty() ? "" : ", ") + std::to_string(offset);
    }
    return text;
}

// The tiny release, its patcher as an exe and as its description gives it, and a next release beside it.
class TinyShipped {
  public:
    TinyShipped() {
        testing::WriteTinyRelease(Release());
        WriteFile(Description(), kTinyDescription);
        BuildFigures figures;
        const PatchDescription description = ReadPatchDescription(Description());
        exe_ = (dir_.Path() / "shipped.exe").string();
        WriteFile(exe_, MakePatcher(description, Release(), ReadBytes(testing::ExitStub()), {}, {}, figures).Exe);
        testing::WriteTinyRelease(Next());
        WriteFile(NextDescription(), kNextDescription);
    }

    fs::path Release() const { return dir_.Path() / "release"; }
    fs::path Next() const { return dir_.Path() / "next"; }
    std::string Description() const { return (dir_.Path() / "shipped.toml").string(); }
    std::string NextDescription() const { return (dir_.Path() / "next.toml").string(); }
    const std::string& Exe() const { return exe_; }

    // Both shipped patchers: from the exe, and from the description over its release.
    std::vector<ShippedPatcher> Shipped() const {
        return {ShippedPatcherFromExe(exe_), ShippedPatcherFromDescription(Description(), Release())};
    }

    // The guard's refusal of the next release with this build 3, its message's path shortened to "next.toml";
    // "(passed)" where it lets it pass.
    std::string Refusal(const Bytes& third, const ShippedPatcher& shipped) const {
        WriteFile(Next() / "10/3/help.chm", third);
        const PatchDescription description = ReadPatchDescription(NextDescription());
        BuildFigures figures;
        const std::vector<LoadedFile> files = ReadRelease(description, Next(), figures);
        try {
            RefuseDowngrades(description, files, std::span(&shipped, 1));
        } catch (const DescriptionError& refusal) {
            std::string message = refusal.what();
            message.replace(0, NextDescription().size(), "next.toml");
            return message;
        }
        return "(passed)";
    }

  private:
    testing::TempDir dir_;
    std::string exe_;
};

TEST(ShippedGuard, RefusesANewBuildThatAShippedPatcherWouldTakeForAnOlderOne) {
    const TinyShipped tiny;
    for (const ShippedPatcher& shipped : tiny.Shipped()) {
        SCOPED_TRACE(shipped.Name);
        const KnownVersion& first = *shipped.Tables.FindVersion(10, 1);
        const Bytes collides = ChangedWhereUnsampled(Noise(3000, 1), first, 100);
        EXPECT_EQ(tiny.Refusal(collides, shipped),
                  "next.toml:11: file 10 version 3: \"10/3/help.chm\" is no build that the shipped patcher " +
                      shipped.Name +
                      " knows, yet it would take it for its version 1 (the same 3000 bytes, all 50 samples alike) and "
                      "overwrite it with its newest, version 2; give version 3 another size, or other bytes than "
                      "version 1 has at one of the offsets that it samples: " +
                      SortedOffsets(first));

        // What the words say: another size, or one sampled byte of its own.
        EXPECT_EQ(tiny.Refusal(Noise(3200, 3), shipped), "(passed)");
        Bytes told = collides;
        told[static_cast<std::size_t>(first.Samples[10].Offset)] ^= 0x01;
        EXPECT_EQ(tiny.Refusal(told, shipped), "(passed)");
        // Taken for its newest, it is left alone: no downgrade.
        const KnownVersion& second = *shipped.Tables.FindVersion(10, 2);
        EXPECT_EQ(tiny.Refusal(ChangedWhereUnsampled(Noise(3100, 2), second, 100), shipped), "(passed)");
    }
}

// A patcher derived from its description has every build's bytes: a build listed under a known number but
// changed where no sample lies is no build it knows. One read from its exe has samples alone, and takes the
// number's word for it.
TEST(ShippedGuard, KnowsABuildByItsBytesWhereItHasThem) {
    const TinyShipped tiny;
    const std::vector<ShippedPatcher> shipped = tiny.Shipped();
    ASSERT_EQ(shipped.size(), 2U);
    EXPECT_EQ(shipped[0].Name, "\"" + tiny.Exe() + "\"");
    EXPECT_EQ(shipped[1].Name, "made from \"" + tiny.Description() + "\"");
    const Bytes changedFirst = ChangedWhereUnsampled(Noise(3000, 1), *shipped[0].Tables.FindVersion(10, 1), 3);
    WriteFile(tiny.Next() / "10/1/help.chm", changedFirst);
    const Bytes third = Noise(3200, 3);
    EXPECT_EQ(tiny.Refusal(third, shipped[0]), "(passed)");
    EXPECT_EQ(tiny.Refusal(third, shipped[1])
                  .rfind("next.toml:8: file 10 version 1: \"10/1/help.chm\" is no build that "
                         "the shipped patcher made from ",
                         0),
              0U);
}

// Today's English patcher, whose tables were compiled in, derived from its description over the stand-ins; the
// next English description's build 12 passes, and a build 12 made from build 7 does not.
TEST(ShippedGuard, GuardsTheEnglishUpdateAgainstTheEnglishPatcherShippedBefore) {
    testing::TempDir dir;
    const fs::path release = dir.Path() / "release";
    WriteStandinRelease(release, standin::NextSizes());
    const std::string shippedDescription = PATCHER_SOURCE_DIR "/descriptions/VokarEn-1.5.3.toml";
    const ShippedPatcher shipped = ShippedPatcherFromDescription(shippedDescription, release);
    const KnownVersion& seventh = *shipped.Tables.FindVersion(1, 7);
    WriteFile(release / "1/12x/VokarEn.exe",
              ChangedWhereUnsampled(ReadBytes(release / "1/7/VokarEn.exe"), seventh, 1000));

    const auto guard = [&](const std::string& text) {
        const PatchDescription description = ParsePatchDescription(text, "VokarEn-1.5.4.toml");
        BuildFigures figures;
        const std::vector<LoadedFile> files = ReadRelease(description, release, figures);
        try {
            RefuseDowngrades(description, files, std::span(&shipped, 1));
        } catch (const DescriptionError& refusal) {
            return std::string(refusal.what());
        }
        return std::string("(passed)");
    };
    std::string next = testing::ReadText(PATCHER_SOURCE_DIR "/tests/e2e/VokarEn-1.5.4.toml");
    EXPECT_EQ(guard(next), "(passed)");
    const std::size_t at = next.find("\"1/12/VokarEn.exe\"");
    ASSERT_NE(at, std::string::npos);
    const std::string refusal = guard(next.replace(at, 18, "\"1/12x/VokarEn.exe\""));
    EXPECT_EQ(
        refusal.rfind("VokarEn-1.5.4.toml:27: file 1 version 12: \"1/12x/VokarEn.exe\" is no build that the "
                      "shipped patcher made from \"" +
                          shippedDescription +
                          "\" knows, yet it would take it for its version 7 (the same 2075648 bytes, all 50 "
                          "samples alike) and overwrite it with its newest, version 11; give version 12 another "
                          "size, or other bytes than version 7 has at one of the offsets that it samples: 0, 60, ",
                      0),
        0U)
        << refusal;
}

TEST(ShippedGuard, TakesItsOptionsFromAnywhereOnTheCommandLine) {
    Arguments arguments = {"--greedy", "--shipped",   "a.exe", "patch.toml", "--shipped-description",
                           "old.toml", "old-release", "rel",   "--shipped",  "b.exe",
                           "out"};
    const ShippedSources sources = TakeShippedOptions(arguments);
    EXPECT_EQ(arguments, (Arguments{"--greedy", "patch.toml", "rel", "out"}));
    EXPECT_EQ(sources.Patchers, (std::vector<std::string>{"a.exe", "b.exe"}));
    ASSERT_EQ(sources.Descriptions.size(), 1U);
    EXPECT_EQ(sources.Descriptions[0], (std::pair<std::string, std::string>{"old.toml", "old-release"}));

    for (const Arguments& wrong :
         {Arguments{"patch.toml", "--shipped"}, Arguments{"--shipped-description", "old.toml"}}) {
        Arguments copy = wrong;
        EXPECT_THROW(TakeShippedOptions(copy), UsageError);
    }
}

TEST(ShippedGuard, LoadsWhatTheOptionsNameAndRefusesWhatIsNoPatcher) {
    const TinyShipped tiny;
    const std::vector<ShippedPatcher> loaded =
        LoadShippedPatchers({{tiny.Exe()}, {{tiny.Description(), tiny.Release().string()}}});
    ASSERT_EQ(loaded.size(), 2U);
    EXPECT_TRUE(loaded[0].Tables == loaded[1].Tables);
    EXPECT_TRUE(loaded[0].Builds.empty());
    EXPECT_EQ(loaded[1].Builds.at({10, 2}), Noise(3100, 2));
    try {
        LoadShippedPatchers({{tiny.Description()}, {}});
        ADD_FAILURE() << "a description read as a patcher";
    } catch (const std::runtime_error& refusal) {
        EXPECT_EQ(std::string(refusal.what()),
                  "\"" + tiny.Description() + "\" is no patcher: not a well-formed PE file: no MZ header");
    }
}

}  // namespace
}  // namespace patcher::patchkit

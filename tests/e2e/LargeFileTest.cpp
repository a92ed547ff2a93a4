// A German patcher whose VokarDe.exe fills both of its slots (tests/e2e/VokarDe-grown.toml): eleven builds of
// 3.5 to 4 MiB, the newest 4,194,304 bytes, split into two slots of 2,097,152. ./run test writes this release
// beside the stand-ins (`patchkit standin --grown`) and builds the patcher from it with
// `./run build tests/e2e/VokarDe-grown.toml --release DIR`; here it updates an old build under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "profile/ProductProfile.h"
#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/GermanEdition.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;
using C = MainControl;

constexpr char kPatch[] = "VokarDe-grown";
constexpr int kProgram = 8;
constexpr int kNewest = 11;

// A build of the grown release, read once.
const std::vector<std::uint8_t>& GrownBuild(int version) {
    static std::map<int, std::vector<std::uint8_t>> builds;
    auto& bytes = builds[version];
    if (bytes.empty()) {
        const fs::path path = fs::path(PATCHER_STANDIN_DIR).parent_path() / "grown-standins" / "8" /
                              std::to_string(version) / std::string(FileName(kProgram));
        bytes = ReadBytes(path);
        if (bytes.empty()) {
            throw std::runtime_error("no grown build at " + path.string() + ": ./run test writes it");
        }
    }
    return bytes;
}

// Version 4 has the size of version 3, whose samples the patcher compares first and which must not match.
TEST(GrownProgram, AnOldBuildBecomesTheNewestOfFourMebibytesByteForByte) {
    constexpr int kOld = 4;
    ASSERT_EQ(GrownBuild(kNewest).size(), 4'194'304U);
    ASSERT_EQ(GrownBuild(kOld).size(), GrownBuild(3).size());
    ASSERT_FALSE(GrownBuild(kOld) == GrownBuild(3));

    Installation installation = GermanProduct::Install(kPatch);
    installation.Put(FileName(kProgram), GrownBuild(kOld));
    GermanProduct::Record(installation);
    DriverScript script;
    script.Start(installation.Patcher())
        .ExpectText(C::lblMain, Introduction(kGerman, TablesOf(kPatch)))
        .PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kGerman, kSummaryUpdated))
        .NoDialog()
        // A second run finds the rewritten file current: its size and 50 samples are the newest build's.
        .PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kGerman, kSummaryNothingToDo))
        .PostClick(C::btnZamknij)
        .Exited();
    const DriverReport report = installation.Run(script);
    ASSERT_TRUE(report.Completed()) << report.Text;
    const std::vector<std::uint8_t> updated = ReadBytes(installation.File(FileName(kProgram)));
    EXPECT_EQ(updated.size(), GrownBuild(kNewest).size());
    EXPECT_TRUE(updated == GrownBuild(kNewest)) << "the rewritten VokarDe.exe differs from the newest build";
}

}  // namespace
}  // namespace patcher::e2e

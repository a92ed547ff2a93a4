#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace patcher {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    int ExitCode = -1;
    std::string Errors;
};

// Runs patchkit with the arguments and returns its exit code and what it wrote to stderr.
Outcome Patchkit(const testing::TempDir& dir, const std::string& arguments) {
    const std::string errors = dir.File("stderr.txt");
    const std::string command = std::string(PATCHER_HOST_PATCHKIT) + " " + arguments + " 2>" + errors;
    const int status = std::system(command.c_str());
    std::ifstream in(errors);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(std::istreambuf_iterator<char>(in), {})};
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int Lines(const std::string& text) {
    int lines = 0;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

TEST(PatchkitPack, PackAndUnpackGiveTheFileBack) {
    testing::TempDir dir;
    Bytes data;
    for (int i = 0; i < 50000; ++i) {
        data.push_back(static_cast<std::uint8_t>(i % 251 < 120 ? i % 13 : (i * 7919) >> 3));
    }
    const std::string in = dir.Write("in.bin", data);
    const std::string packed = dir.File("packed.bin");
    const std::string greedy = dir.File("greedy.bin");
    const std::string back = dir.File("back.bin");
    EXPECT_EQ(Patchkit(dir, "pack " + in + " " + packed).ExitCode, 0);
    EXPECT_EQ(Patchkit(dir, "pack --greedy " + in + " " + greedy).ExitCode, 0);
    EXPECT_EQ(Patchkit(dir, "unpack " + packed + " " + back).ExitCode, 0);
    EXPECT_EQ(ReadFile(back), data);
    EXPECT_EQ(Patchkit(dir, "unpack " + greedy + " " + back).ExitCode, 0);
    EXPECT_EQ(ReadFile(back), data);
    EXPECT_LE(ReadFile(packed).size(), ReadFile(greedy).size());
}

TEST(PatchkitPack, BadInputIsOneLineAndExitCodeOne) {
    testing::TempDir dir;
    const std::string out = dir.File("out.bin");

    const Outcome garbage = Patchkit(dir, "unpack " + dir.Write("garbage.bin", Bytes(300, 0xFF)) + " " + out);
    EXPECT_EQ(garbage.ExitCode, 1);
    EXPECT_EQ(Lines(garbage.Errors), 1) << garbage.Errors;

    const Outcome empty = Patchkit(dir, "pack " + dir.Write("empty.bin", {}) + " " + out);
    EXPECT_EQ(empty.ExitCode, 1);
    EXPECT_EQ(Lines(empty.Errors), 1) << empty.Errors;

    const Outcome tooLarge = Patchkit(dir, "pack " + dir.Write("large.bin", Bytes(2097153, 1)) + " " + out);
    EXPECT_EQ(tooLarge.ExitCode, 1);
    EXPECT_NE(tooLarge.Errors.find("2097152"), std::string::npos) << tooLarge.Errors;
    EXPECT_EQ(Lines(tooLarge.Errors), 1) << tooLarge.Errors;

    const Outcome missing = Patchkit(dir, "unpack " + dir.File("nothing.bin") + " " + out);
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_EQ(Lines(missing.Errors), 1) << missing.Errors;

    EXPECT_EQ(Patchkit(dir, "pack " + out).ExitCode, 2);  // usage
}

}  // namespace
}  // namespace patcher

// A release file too large for the memory left is named in the refusal, and so is a file whose packing runs
// out of memory. This program of its own replaces the allocation of its whole process, so that memory runs
// out at a size the test chooses: under the address sanitizer, whose own allocation aborts where it would
// throw, as well.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/TinyRelease.h"
#include "tools/patchkit/PatchBuild.h"

namespace {

// More than this is never given at once: the memory is out.
std::size_t memoryLeft = std::size_t{1} << 30;

// A smaller limit for as long as it lives.
class MemoryLimit {
  public:
    explicit MemoryLimit(std::size_t bytes) : before_(memoryLeft) { memoryLeft = bytes; }
    MemoryLimit(const MemoryLimit&) = delete;
    MemoryLimit& operator=(const MemoryLimit&) = delete;
    ~MemoryLimit() { memoryLeft = before_; }

  private:
    std::size_t before_;
};

}  // namespace

// The plain forms, with and without exceptions, which the standard library pairs with each other; the array
// and aligned forms stay the sanitizer's, paired with its own.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return size <= memoryLeft ? std::malloc(size == 0 ? 1 : size) : nullptr;
}

void* operator new(std::size_t size) {
    if (void* memory = operator new(size, std::nothrow)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;

// Builds into the i686 exit stub, which takes a few kilobytes of the memory.
BuildOptions IntoTheExitStub() {
    BuildOptions options;
    options.Stub = testing::ExitStub();
    return options;
}

TEST(ReadingOutOfMemory, NamesTheFileThatDidNotFit) {
    testing::TempDir dir;
    const fs::path release = dir.Path() / "release";
    testing::WriteTinyRelease(release);
    // 1.5 GiB of nothing, which takes no room on the disk: a build that fits a version table (2 GiB).
    constexpr off_t kLarge = off_t{3} << 29;
    ASSERT_EQ(::truncate((release / "10/2/help.chm").c_str(), kLarge), 0);
    const std::string description =
        dir.Write("patch.toml", {testing::kTinyDescription.begin(), testing::kTinyDescription.end()});
    try {
        BuildPatch(description, release, dir.Path() / "out", IntoTheExitStub());
        FAIL() << "built from a file that does not fit in memory";
    } catch (const DescriptionError& error) {
        EXPECT_EQ(std::string(error.what()),
                  description + ":9: file 10 version 2: \"10/2/help.chm\" cannot be read (out of memory for its " +
                      std::to_string(kLarge) + " bytes)");
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "out"));
}

// The packer's tables take a megabyte or two whatever the input; the rest of a tiny build takes far less.
TEST(ReadingOutOfMemory, SaysInWordsThatPackingRanOutOfMemory) {
    testing::TempDir dir;
    const fs::path release = dir.Path() / "release";
    testing::WriteTinyRelease(release);
    const std::string description =
        dir.Write("patch.toml", {testing::kTinyDescription.begin(), testing::kTinyDescription.end()});
    try {
        const MemoryLimit limit(std::size_t{512} << 10);
        BuildPatch(description, release, dir.Path() / "out", IntoTheExitStub());
        FAIL() << "packed without the memory for it";
    } catch (const DescriptionError& error) {
        EXPECT_EQ(std::string(error.what()),
                  description + ":9: file 10 version 2: out of memory while packing it into its slots");
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "out"));
}

}  // namespace
}  // namespace patcher::patchkit

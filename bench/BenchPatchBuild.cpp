// Making a patcher: `patchkit build` of the English and the German patcher from a warm start (the stand-ins
// read once already), against packing the same newest builds in the same slots alone, which is the work a
// build cannot avoid. Also the stub's size and the patcher's.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "tools/packer/Packer.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/PatchBuild.h"

namespace patcher::bench {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kRepeats = 3;

Bytes ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The selected files' newest builds cut as the build cut them into its slots, whose sizes it reports in order.
std::vector<Bytes> SlotContents(const patchkit::PatchDescription& description, const patchkit::BuildFigures& figures) {
    std::vector<Bytes> slots;
    std::size_t next = 0;
    for (const int fileIndex : description.SelectedFiles) {
        const Bytes newest =
            ReadWhole(fs::path(PATCHER_STANDIN_RELEASE) / description.FindFile(fileIndex)->Builds.back().Path);
        for (std::size_t at = 0; at < newest.size() && next < figures.Slots.size(); ++next) {
            const std::size_t size = std::min(figures.Slots[next].Size, newest.size() - at);
            slots.emplace_back(newest.begin() + static_cast<std::ptrdiff_t>(at),
                               newest.begin() + static_cast<std::ptrdiff_t>(at + size));
            at += size;
        }
    }
    return slots;
}

void BenchOnePatcher(const char* name, const fs::path& out) {
    const std::string description = std::string(PATCHER_SOURCE_DIR) + "/descriptions/" + name + ".toml";
    patchkit::BuildOptions options;
    options.Stub = PATCHER_BENCH_STUB;
    patchkit::BuildFigures figures = patchkit::BuildPatch(description, PATCHER_STANDIN_RELEASE, out, options);
    const double build = BestSeconds(
        kRepeats, [&] { figures = patchkit::BuildPatch(description, PATCHER_STANDIN_RELEASE, out, options); });
    const std::vector<Bytes> slots = SlotContents(patchkit::ReadPatchDescription(description), figures);
    std::size_t bytes = 0;
    const double pack = BestSeconds(kRepeats, [&] {
        bytes = 0;
        for (const Bytes& slot : slots) {
            bytes += packer::Pack(slot).size();
        }
    });
    std::printf("%-14s build %6.2f s, packing its %zu slots alone %6.2f s (%zu bytes packed): %.2fx\n", name, build,
                slots.size(), pack, bytes, build / pack);
    std::printf("%-14s patcher %llu bytes (%s)\n", name, static_cast<unsigned long long>(figures.ExeBytes),
                figures.ExeName.c_str());
}

}  // namespace

void BenchPatchBuild() {
    const fs::path out = fs::temp_directory_path() / "patcher-bench-build";
    std::printf("best of %d warm builds over the stand-ins, each against packing its slots alone in the same run\n",
                kRepeats);
    std::printf("stub           %llu bytes (%s)\n", static_cast<unsigned long long>(fs::file_size(PATCHER_BENCH_STUB)),
                PATCHER_BENCH_STUB);
    BenchOnePatcher("VokarEn-1.5.3", out);
    BenchOnePatcher("VokarDe-2.1", out);
    std::error_code ignored;
    fs::remove_all(out, ignored);
}

}  // namespace patcher::bench

// Rewriting VokarEn.exe from the build's packed data, against the floor: writing and flushing the same
// bytes the same way (a new file beside the target, then one replacement of the held target) without unpacking.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "bench/Bench.h"
#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "platform/FileSystem.h"

namespace patcher::bench {

void BenchRewrite() {
    const auto dir = std::filesystem::temp_directory_path() / "patcher-bench-rewrite";
    std::filesystem::create_directories(dir);
    const std::string name = "VokarEn.exe";
    const std::string path = (dir / name).string();
    ResourceStore& resources = BuildPatcher();
    DecoderState decoder;
    FileSystem& files = SystemFileSystem();
    constexpr int kRuns = 15;

    // The first rewrite makes the file; the ones timed replace the newest build with itself.
    bool ok = RewriteFile(1, path, FoundTarget{}, {files, resources, decoder}).Ok;
    const FoundTarget newest{.Exists = true, .Version = NewestVersion(1)};
    const double rewrite = BestSeconds(kRuns, [&] {
        ok = RewriteFile(1, path, newest, {files, resources, decoder}).Ok && ok;
    });
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    const double floor = BestSeconds(kRuns, [&] {
        files.CheckWritable(path);
        ByteString temporary;
        const auto file = files.CreateFileBeside(path, temporary);
        file->Write(content);
        file->Flush();
        file->Close();
        files.OpenForReplacing(path)->ReplaceWith(temporary);
    });
    std::printf("rewrite of VokarEn.exe (%zu bytes, %s): %8.2f ms (best of %d)\n", content.size(), ok ? "ok" : "FAILED",
                rewrite * 1e3, kRuns);
    std::printf("write and flush of the same bytes:          %8.2f ms\n", floor * 1e3);
    std::printf("rewrite / plain write:                      %8.2f\n", rewrite / floor);
    std::filesystem::remove_all(dir);
}

}  // namespace patcher::bench

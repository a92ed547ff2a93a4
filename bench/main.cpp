// The benchmark program: prints figures, asserts nothing. `patcher_bench [SECTION...]` runs the named
// sections, or all of them.
#include <cstdio>
#include <cstring>

#include "bench/Bench.h"
#include "tables/PatchTablesFormat.h"

namespace patcher::bench {
namespace {

constexpr BenchSection kSections[] = {
    {"recognition", BenchRecognition}, {"decoder", BenchDecoder},       {"rewrite", BenchRewrite},
    {"update", BenchUpdate},           {"patchbuild", BenchPatchBuild},
};

}  // namespace
}  // namespace patcher::bench

int main(int argc, char** argv) {
    using namespace patcher::bench;
    // The tables of the build whose packed data the sections run on, as the patcher installs its own.
    patcher::InstallPatchTables(patcher::LoadPatchTables(BuildPatcher()));
    int ran = 0;
    for (const BenchSection& section : kSections) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i) {
            wanted = wanted || std::strcmp(argv[i], section.Name) == 0;
        }
        if (wanted) {
            std::printf("== %s\n", section.Name);
            section.Run();
            std::fflush(stdout);
            ++ran;
        }
    }
    if (ran == 0) {
        std::fprintf(stderr, "patcher_bench: no section called so; sections:");
        for (const BenchSection& section : kSections) {
            std::fprintf(stderr, " %s", section.Name);
        }
        std::fprintf(stderr, "\n");
        return 2;
    }
    return 0;
}

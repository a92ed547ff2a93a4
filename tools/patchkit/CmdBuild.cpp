#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/patchkit/Commands.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/PatchBuild.h"
#include "tools/patchkit/PatchSources.h"

namespace patcher::patchkit {

// The data of one patcher from its description and the files of a release: the generated sources, the
// packed slots and their .rc script, Patch.cmake; with the time of each step and the slots' figures.
int RunBuild(const Arguments& arguments) {
    Arguments rest = arguments;
    BuildOptions options;
    if (!rest.empty() && rest[0] == "--greedy") {
        options.Method = packer::ParseMethod::Greedy;
        rest.erase(rest.begin());
    }
    if (rest.size() != 3) {
        throw UsageError{"takes a description, the release folder and the folder to write"};
    }
    const BuildFigures figures = BuildPatch(rest[0], rest[1], rest[2], options);
    std::printf("%-13s %7.2f s  %d files, %llu bytes\n", "reading", figures.Reading, figures.FilesRead,
                static_cast<unsigned long long>(figures.BytesRead));
    std::printf("%-13s %7.2f s  %d signature tables\n", "tables", figures.Tables, figures.TablesPicked);
    std::printf("%-13s %7.2f s  every build recognised as itself, %llu changed samples unrecognised\n", "verification",
                figures.Verification, static_cast<unsigned long long>(figures.ChangedSamplesRefused));
    std::printf("%-13s %7.2f s  %zu slots, %s parse\n", "packing", figures.Packing, figures.Slots.size(),
                options.Method == packer::ParseMethod::Greedy ? "greedy" : "optimal");
    std::printf("%-13s %7.2f s  tables, digests and packed data agree: each slot pair gives its newest build\n",
                "checking", figures.Checking);
    std::printf("%-13s %7.2f s  %d files into %s\n", "writing", figures.Writing, figures.FilesWritten,
                Shown(rest[2]).c_str());
    std::printf(
        "%-13s %7.2f s\n", "total",
        figures.Reading + figures.Tables + figures.Verification + figures.Packing + figures.Checking + figures.Writing);
    std::printf("%-13s %10s %10s %7s\n", "slot", "bytes", "packed", "ratio");
    for (const SlotFigures& slot : figures.Slots) {
        std::printf("%-13s %10zu %10zu %6.1f%%\n", slot.Name.c_str(), slot.Size, slot.PackedSize,
                    100.0 * static_cast<double>(slot.PackedSize) / static_cast<double>(slot.Size));
    }
    if (!figures.Warning.empty()) {
        std::fprintf(stderr, "patchkit build: warning: %s\n", OneLine(figures.Warning).c_str());
    }
    return 0;
}

// Patch.cmake alone, from the description alone: quick enough for the build system to run while it
// configures.
int RunDescribe(const Arguments& arguments) {
    if (arguments.size() != 2) {
        throw UsageError{"takes a description and the file to write"};
    }
    const std::string text = RenderPatchCmake(ReadPatchDescription(arguments[0]));
    if (SameFile(arguments[0], arguments[1])) {
        throw std::runtime_error(Quoted(arguments[1]) + " is the description itself, which writing it would destroy");
    }
    ReplaceFile(arguments[1], std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    return 0;
}

}  // namespace patcher::patchkit

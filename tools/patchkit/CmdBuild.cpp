#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/patchkit/BundledFiles.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/HostProcess.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatchBuild.h"
#include "tools/patchkit/ShippedGuard.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

// The targets a patcher is made for, each with its stub.
constexpr const char* kTargets[] = {"i686", "x86_64"};

// The stub of a target that ships with patchkit: patcher-stub-<target>.exe.
std::filesystem::path StubOf(const std::string& target) {
    return BundledFile("patcher-stub-" + target + ".exe", "--stub");
}

}  // namespace

// A patcher from its description and the files of a release, written from its target's stub; with the time of
// each step, the slots' figures, and last the patcher's name.
int RunBuild(const Arguments& arguments) {
    BuildOptions options;
    std::string target = kTargets[0];
    Arguments given = arguments;
    const ShippedSources shippedSources = TakeShippedOptions(given);
    Arguments rest;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const std::string& argument = given[i];
        const auto value = [&](const char* what) -> const std::string& {
            if (i + 1 >= given.size()) {
                throw UsageError{argument + " takes " + what};
            }
            return given[++i];
        };
        if (argument == "--greedy") {
            options.Method = packer::ParseMethod::Greedy;
        } else if (argument == "--target") {
            target = value("i686 or x86_64");
            if (target != kTargets[0] && target != kTargets[1]) {
                throw UsageError{"--target takes i686 or x86_64, not " + Shown(target)};
            }
        } else if (argument == "--stub") {
            options.Stub = PathFromUtf8(value("the stub's path"));
        } else if (argument == "--sign") {
            const std::string certificate = value("a certificate and its key");
            options.Sign = Signing{PathFromUtf8(certificate), PathFromUtf8(value("a certificate and its key"))};
        } else if (argument.starts_with("--")) {
            throw UsageError{"unknown option " + Shown(argument)};
        } else {
            rest.push_back(argument);
        }
    }
    if (rest.size() != 3) {
        throw UsageError{"takes a description, the release folder and the folder to write"};
    }
    if (options.Stub.empty()) {
        options.Stub = StubOf(target);
    }
    const std::vector<ShippedPatcher> shipped = LoadShippedPatchers(shippedSources);
    const BuildFigures figures = BuildPatch(rest[0], PathFromUtf8(rest[1]), PathFromUtf8(rest[2]), options, shipped);
    std::printf("%-13s %7.2f s  %d files, %llu bytes\n", "reading", figures.Reading, figures.FilesRead,
                static_cast<unsigned long long>(figures.BytesRead));
    std::printf("%-13s %7.2f s  %d signature tables\n", "tables", figures.Tables, figures.TablesPicked);
    std::printf("%-13s %7.2f s  every build recognised as itself, %llu changed samples unrecognised\n", "verification",
                figures.Verification, static_cast<unsigned long long>(figures.ChangedSamplesRefused));
    std::printf("%-13s %7.2f s  %zu slots, %s parse\n", "packing", figures.Packing, figures.Slots.size(),
                options.Method == packer::ParseMethod::Greedy ? "greedy" : "optimal");
    std::printf("%-13s %7.2f s  the tables, the slots and the version information written into the stub\n",
                "assembling", figures.Assembling);
    std::printf(
        "%-13s %7.2f s  read back: the program sound, every resource as written, each slot pair its newest "
        "build\n",
        "checking", figures.Checking);
    if (options.Sign) {
        std::printf("%-13s %7.2f s  by osslsigncode\n", "signing", figures.Signing);
    }
    std::printf("%-13s %7.2f s\n", "writing", figures.Writing);
    std::printf("%-13s %7.2f s\n", "total",
                figures.Reading + figures.Tables + figures.Verification + figures.Packing + figures.Assembling +
                    figures.Checking + figures.Signing + figures.Writing);
    std::printf("%-13s %10s %10s %7s\n", "slot", "bytes", "packed", "ratio");
    for (const SlotFigures& slot : figures.Slots) {
        std::printf("%-13s %10zu %10zu %6.1f%%\n", slot.Name.c_str(), slot.Size, slot.PackedSize,
                    100.0 * static_cast<double>(slot.PackedSize) / static_cast<double>(slot.Size));
    }
    std::printf("%-13s %10llu bytes for %s, written to\n", "patcher", static_cast<unsigned long long>(figures.ExeBytes),
                target.c_str());
    // Last, alone on its line and whole: where the patcher is, for whatever runs this command.
    std::printf(
        "%s\n",
        Utf8Of((std::filesystem::absolute(PathFromUtf8(rest[2])) / figures.ExeName).lexically_normal()).c_str());
    return 0;
}

}  // namespace patcher::patchkit

// patchkit: the maintainers' tool for making a patch (stand-in files, the patch build, packing).
#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "common/FileIndex.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/HostProcess.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatchDescription.h"

namespace patcher::patchkit {
namespace {

constexpr Command kCommands[] = {
    {"standin",
     "standin [--next|--grown] DIR  - writes every stand-in build as DIR/<file index>/<version>/<file name>; "
     "--next: and build 12 of VokarEn.exe; --grown: VokarDe.exe grown to 11 builds of 3.5 to 4 MiB",
     RunStandin},
    {"build",
     "build [--greedy] [--target i686|x86_64] [--stub STUB] [--sign CERT KEY] [--shipped EXE]... "
     "[--shipped-description DESC RELEASE-DIR]... DESCRIPTION RELEASE-DIR OUTDIR  - "
     "writes OUTDIR/<name>-<version>-patch.exe from the stub, verified",
     RunBuild},
    {"recognise",
     "recognise [--patcher EXE] INDEX PATH  - prints the CheckResult and the matching version, by a patcher's "
     "tables",
     RunRecognise},
    {"inspect",
     "inspect EXE  - prints what a patcher exe is (product, update, builds, packed data, version information, "
     "signature) and checks that it holds together",
     RunInspect},
    {"pack", "pack [--greedy] IN OUT  - packs a file (at most 2 MiB) into the packed-resource format", RunPack},
    {"unpack", "unpack IN OUT  - unpacks a packed resource", RunUnpack},
    {"rewrite",
     "rewrite [--patcher EXE] INDEX PATH  - rewrites a file as a patcher does, from its packed data; prints true "
     "or false",
     RunRewrite},
    {"scramble", "scramble encode|decode METHOD KEY HEX  - prints the scrambled or plain text in hex", RunScramble},
    {"catalogue", "catalogue             - prints every message as LANG<TAB>ID<TAB>HEX-BYTES", RunCatalogue},
    {"glyphs", "glyphs DIR  - writes the flag buttons' pictures into DIR, with a .rc script", RunGlyphs},
    {"trial",
     "trial [--record-writer EXE] [--wine-template PREFIX] EXE RELEASE-DIR  - runs a patcher under Wine on every "
     "older build of its files that the release holds; prints a line per case",
     RunTrial},
};

}  // namespace

int ParseFileIndex(const std::string& text) {
    const std::optional<int> fileIndex = FileIndexOf(text);
    if (!fileIndex || *fileIndex < 1 || *fileIndex > kFileCount) {
        throw UsageError{"the file index must be a number from 1 to 12, without leading zeros"};
    }
    return *fileIndex;
}

namespace {

int PrintUsage(std::FILE* to) {
    std::fprintf(to, "usage: patchkit COMMAND ARGS...\n");
    for (const Command& command : kCommands) {
        std::fprintf(to, "  %s\n", command.Usage);
    }
    return 2;
}

// What a command printed must have reached standard output (not a full disk, not /dev/full): a command
// whose output was lost fails, however it ended.
int CheckedOutput(const Command& command, int exitCode) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout)) {
        return exitCode;
    }
    std::fprintf(stderr, "patchkit %s: cannot write to the standard output (%s)\n", command.Name,
                 error != 0 ? Reason(error).c_str() : "an earlier write failed");
    return exitCode != 0 ? exitCode : 1;
}

}  // namespace
}  // namespace patcher::patchkit

int main(int argc, char** argv) {
    using namespace patcher::patchkit;
    const HostProcess process(argc, argv);
    const Arguments& all = process.Arguments();
    if (all.size() < 2) {
        return PrintUsage(stderr);
    }
    for (const Command& command : kCommands) {
        if (all[1] != command.Name) {
            continue;
        }
        const Arguments arguments(all.begin() + 2, all.end());
        try {
            return CheckedOutput(command, command.Run(arguments));
        } catch (const UsageError& error) {
            std::fprintf(stderr, "patchkit %s: %s\nusage: patchkit %s\n", command.Name, OneLine(error.Message).c_str(),
                         command.Usage);
            return 2;
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "patchkit %s: out of memory\n", command.Name);
            return 1;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "patchkit %s: %s\n", command.Name, OneLine(error.what()).c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "patchkit: unknown command '%s'\n", OneLine(Shown(all[1])).c_str());
    return PrintUsage(stderr);
}

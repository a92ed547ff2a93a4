#include <cstdio>
#include <string>

#include "tools/patchkit/Commands.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/StandinRelease.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {

// The stand-ins of the published builds; with --next those, the next English release's build 12 of VokarEn.exe
// and the next German one's build 4 of VokarDe.exe (the release of the 1.5.4 and 2.2 patchers); with --grown those of
// VokarDe.exe grown to 4 MiB (the release of a patcher whose file fills both its slots).
int RunStandin(const Arguments& arguments) {
    const bool grown = !arguments.empty() && arguments[0] == "--grown";
    const bool next = !arguments.empty() && arguments[0] == "--next";
    if (arguments.size() != (grown || next ? 2u : 1u)) {
        throw UsageError{"takes --grown, --next or nothing, and the directory to write into"};
    }
    const std::string& dir = arguments.back();
    const int written = WriteStandinRelease(PathFromUtf8(dir), grown  ? standin::GrownSizes()
                                                               : next ? standin::NextSizes()
                                                                      : standin::PublishedSizes());
    std::printf("%d stand-in files written under %s\n", written, Shown(dir).c_str());
    return 0;
}

}  // namespace patcher::patchkit

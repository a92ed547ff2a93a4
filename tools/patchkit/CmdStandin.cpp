#include <cstdio>

#include "tools/patchkit/Commands.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::patchkit {

int RunStandin(const Arguments& arguments) {
    if (arguments.size() != 1) {
        throw UsageError{"takes the directory to write into"};
    }
    const int written = standin::WriteStandins(arguments[0]);
    std::printf("%d stand-in files written under %s\n", written, arguments[0].c_str());
    return 0;
}

}  // namespace patcher::patchkit

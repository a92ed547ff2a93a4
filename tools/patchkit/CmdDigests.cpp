#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "tools/patchkit/Commands.h"
#include "tools/standin/DigestSource.h"

namespace patcher::patchkit {

int RunDigests(const Arguments& arguments) {
    if (arguments.size() > 1) {
        throw UsageError{"takes at most the file to write"};
    }
    standin::StandinBuilds builds;
    const std::string source = standin::RenderDigestSource(builds);
    if (arguments.empty()) {
        std::fwrite(source.data(), 1, source.size(), stdout);
        return 0;
    }
    std::ofstream out(arguments[0], std::ios::binary | std::ios::trunc);
    if (!out.write(source.data(), static_cast<std::streamsize>(source.size())).flush()) {
        throw std::runtime_error("cannot write " + arguments[0]);
    }
    return 0;
}

}  // namespace patcher::patchkit

#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "tools/patchkit/HostProcess.h"

namespace patcher::patchkit {

// Standard output and error are the bytes that the commands print: nothing to hold.
class HostProcess::Consoles {};

HostProcess::HostProcess(int argc, char** argv) : arguments_(argv, argv + argc) {
    // A write past the file-size limit (ulimit -f) then fails with EFBIG, which the command reports and
    // cleans up after; the signal would end it silently and leave its scratch files behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

HostProcess::~HostProcess() = default;

std::filesystem::path OwnFolder() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        throw std::runtime_error("patchkit cannot tell where it lies, and so where its stubs are: give --stub");
    }
    path.resize(static_cast<std::size_t>(length));
    return std::filesystem::path(path).parent_path();
}

}  // namespace patcher::patchkit

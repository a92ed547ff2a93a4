#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace patcher::patchkit {

// What the host hands patchkit's process and takes from it at its edges: the arguments of its command line as
// UTF-8 text, and standard output and error, which take UTF-8 text. On Windows the arguments are decoded from
// the wide command line, a console is written through WriteConsoleW, and a redirected output gets the UTF-8
// bytes as they are (no line ends changed). One per process, made first in main and destroyed last: what was
// written has then reached its place.
class HostProcess {
  public:
    HostProcess(int argc, char** argv);
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;
    ~HostProcess();

    // The program's name first, as argv has it.
    const std::vector<std::string>& Arguments() const { return arguments_; }

  private:
    class Consoles;  // where the host needs them: the consoles that standard output and error are

    std::vector<std::string> arguments_;
    std::unique_ptr<Consoles> consoles_;
};

// The folder that this very program lies in: its stubs lie beside it. Throws std::runtime_error.
std::filesystem::path OwnFolder();

}  // namespace patcher::patchkit

#include "tools/patchkit/PatcherSigning.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"

extern char** environ;

namespace patcher::patchkit {
namespace {

// A folder of its own for the files that signing needs, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "patchkit-sign.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error(std::string("no scratch folder for signing (") + std::strerror(errno) + ")");
        }
        path_ = pattern;
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Runs the program with its output and errors into `log`; answers its exit code.
int Run(const std::vector<std::string>& arguments, const std::filesystem::path& log) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("osslsigncode cannot be started (" + std::string(std::strerror(spawned)) +
                                 "): install it to sign");
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error(std::string("osslsigncode was lost (") + std::strerror(errno) + ")");
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string LastLine(const std::filesystem::path& log) {
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            last = line;
        }
    }
    return last;
}

}  // namespace

// osslsigncode is looked for only when it runs: a missing one is refused in its own words then.
void CheckSigningAvailable() {}

std::vector<std::uint8_t> Signed(std::span<const std::uint8_t> exe,
                                 const std::string& fileName,
                                 const Signing& signing) {
    const ScratchFolder scratch;
    const std::filesystem::path unsigned_ = scratch.Path() / "unsigned.exe";
    const std::filesystem::path signed_ = scratch.Path() / "signed.exe";
    {
        std::ofstream out(unsigned_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(exe.data()), static_cast<std::streamsize>(exe.size()));
        if (!out) {
            throw std::runtime_error("the patcher cannot be written for signing");
        }
    }
    std::vector<std::string> command = {"osslsigncode", "sign",
                                        "-certs",       signing.Certificate.string(),
                                        "-key",         signing.Key.string(),
                                        "-h",           "sha256",
                                        "-n",           fileName.substr(0, fileName.rfind('.')),
                                        "-in",          unsigned_.string(),
                                        "-out",         signed_.string()};
    if (const char* password = std::getenv("PATCHER_SIGN_PASSWORD_FILE"); password != nullptr && *password != '\0') {
        command.insert(command.end(), {"-readpass", password});
    }
    const std::filesystem::path log = scratch.Path() / "osslsigncode.log";
    if (Run(command, log) != 0) {
        throw std::runtime_error("osslsigncode could not sign the patcher: " + OneLine(LastLine(log)));
    }
    try {
        return ReadRegularFile(signed_, exe.size() + 1024 * 1024, "that a signature adds");
    } catch (const ReadError& error) {
        throw std::runtime_error(std::string("the signed patcher cannot be read back (") + error.what() + ")");
    }
}

}  // namespace patcher::patchkit

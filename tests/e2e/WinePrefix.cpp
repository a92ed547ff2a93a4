#include "tests/e2e/WinePrefix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;

// Closes a descriptor on every path.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }

  private:
    int fd_;
};

// Unattended: no menu entries for the shell links that a test makes, and no offer to install the .NET
// runtime or the HTML engine.
const std::map<std::string, std::string> kUnattended = {
    {"WINEDEBUG", "-all"}, {"WINEARCH", "win64"}, {"WINEDLLOVERRIDES", "winemenubuilder.exe=d;mscoree=;mshtml="},
    {"LC_ALL", ""},        {"LC_MESSAGES", ""},
};

fs::path TemplatePath() {
    if (const char* given = std::getenv("PATCHER_E2E_TEMPLATE"); given != nullptr && *given != '\0') {
        return given;
    }
    return fs::path(PATCHER_E2E_WORK_DIR) / "prefix-template";
}

}  // namespace

// Made once; the scenarios of several test processes wait for whichever makes it.
const fs::path& PrefixTemplate() {
    static const fs::path made = [] {
        const fs::path path = TemplatePath();
        fs::create_directories(path.parent_path());
        const Descriptor lock(::open((path.string() + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644));
        if (lock.Get() < 0 || ::flock(lock.Get(), LOCK_EX) != 0) {
            throw std::runtime_error("cannot lock the prefix template at " + path.string());
        }
        const fs::path ready = path / ".ready";
        if (!fs::exists(ready)) {
            fs::remove_all(path);
            fs::create_directories(path.parent_path());
            const fs::path log = path.string() + ".log";
            std::map<std::string, std::string> environment = kUnattended;
            environment["WINEPREFIX"] = path.string();
            if (RunProgram({"wineboot", "-i"}, environment, log) != 0 ||
                RunProgram({"wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/t", "REG_SZ",
                            "/d", "N", "/f"},
                           environment, log) != 0 ||
                RunProgram({"wineserver", "-w"}, environment, log) != 0) {
                throw std::runtime_error("Wine could not make a prefix; see " + log.string());
            }
            std::ofstream(ready) << "made by the end-to-end tests\n";
        }
        return path;
    }();
    return made;
}

namespace {

// Wine links the user's Desktop, Documents, Downloads and the like to the home folder of this machine's
// account: in a throwaway prefix they become folders of its own, so that nothing a scenario puts there
// lands outside it.
void DetachUserFolders(const fs::path& users) {
    for (const fs::directory_entry& user : fs::directory_iterator(users)) {
        if (!user.is_directory() || user.is_symlink()) {
            continue;
        }
        for (const fs::directory_entry& folder : fs::directory_iterator(user.path())) {
            if (folder.is_symlink()) {
                fs::remove(folder.path());
                fs::create_directory(folder.path());
            }
        }
    }
}

// Links the system files of the template, copies the rest.
void CopyPrefix(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
        const fs::path target = to / entry.path().filename();
        if (entry.path().filename() == "drive_c") {
            for (const fs::directory_entry& inner : fs::directory_iterator(entry.path())) {
                const fs::path innerTarget = target / inner.path().filename();
                fs::create_directories(target);
                const auto options = inner.path().filename() == "windows"
                                         ? fs::copy_options::recursive | fs::copy_options::create_hard_links
                                         : fs::copy_options::recursive | fs::copy_options::copy_symlinks;
                fs::copy(inner.path(), innerTarget, options);
            }
            DetachUserFolders(target / "users");
        } else if (entry.path().filename() != ".ready") {
            fs::copy(entry.path(), target, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        }
    }
}

}  // namespace

int RunProgram(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment,
               const fs::path& log,
               std::optional<std::chrono::seconds> deadline) {
    return RunProgram(arguments, environment, log, std::nullopt, deadline);
}

int RunProgram(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment,
               const fs::path& output,
               const std::optional<fs::path>& errors,
               std::optional<std::chrono::seconds> deadline) {
    std::map<std::string, std::string> merged;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos) {
            merged[entry.substr(0, equals)] = entry.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : environment) {
        if (value.empty()) {
            merged.erase(name);
        } else {
            merged[name] = value;
        }
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : merged) {
        entries.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    std::vector<char*> argv;
    for (std::string& argument : args) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (errors) {
        posix_spawn_file_actions_addopen(&actions, 2, errors->c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    } else {
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(spawned));
    }
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + deadline.value_or(std::chrono::hours(24 * 365));
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            throw std::runtime_error("lost " + arguments[0]);
        }
        if (std::chrono::steady_clock::now() > end) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return kDidNotEnd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

WinePrefix::WinePrefix(std::string locale) : locale_(std::move(locale)) {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    scratch_ = fs::path(PATCHER_E2E_WORK_DIR) / ("scenario-" + std::to_string(::getpid()) + "-" +
                                                 std::to_string(stamp) + "-" + std::to_string(counter++));
    root_ = scratch_ / "pfx";
    CopyPrefix(PrefixTemplate(), root_);
}

WinePrefix::~WinePrefix() {
    try {
        RunProgram({"wineserver", "-k"}, Environment(), scratch_ / "wine.log");
    } catch (const std::exception&) {
        // Nothing runs in a prefix whose server cannot even be reached.
    }
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
}

std::map<std::string, std::string> WinePrefix::Environment() const {
    std::map<std::string, std::string> environment = kUnattended;
    environment["WINEPREFIX"] = root_.string();
    environment["LANG"] = locale_;
    return environment;
}

std::string WinePrefix::WindowsPath(const fs::path& path) const {
    const fs::path absolute = fs::absolute(path).lexically_normal();
    const fs::path relative = absolute.lexically_relative(DriveC());
    std::string windows;
    if (!relative.empty() && *relative.begin() != "..") {
        windows = "C:\\" + relative.string();
    } else {
        windows = "Z:" + absolute.string();
    }
    for (char& c : windows) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (windows.size() > 3 && windows.back() == '\\') {
        windows.pop_back();
    }
    return windows;
}

int WinePrefix::Wine(const fs::path& program,
                     const std::vector<std::string>& arguments,
                     std::optional<std::chrono::seconds> deadline) {
    std::vector<std::string> command = {"wine", program.string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram(command, Environment(), scratch_ / "wine.log", deadline);
}

ConsoleRun WinePrefix::WineConsole(const fs::path& program,
                                   const std::vector<std::string>& arguments,
                                   std::chrono::seconds deadline) {
    static std::atomic<int> runs{0};
    const std::string stem = "console-" + std::to_string(runs++);
    const fs::path output = scratch_ / (stem + ".out");
    const fs::path errors = scratch_ / (stem + ".err");
    std::vector<std::string> command = {"wine", program.string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ConsoleRun run;
    run.ExitCode = RunProgram(command, Environment(), output, errors, deadline);
    const auto text = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream read;
        read << in.rdbuf();
        return read.str();
    };
    run.Output = text(output);
    run.Errors = text(errors);
    return run;
}

int WinePrefix::WineTool(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"wine"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram(command, Environment(), scratch_ / "wine.log");
}

void WinePrefix::Restart() {
    RunProgram({"wineserver", "-k"}, Environment(), scratch_ / "wine.log");
}

std::string WinePrefix::Log() const {
    std::ifstream in(scratch_ / "wine.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace patcher::e2e

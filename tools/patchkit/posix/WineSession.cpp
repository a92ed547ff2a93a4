#include "tools/patchkit/posix/WineSession.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <system_error>
#include <thread>

#include "tools/patchkit/MessageText.h"

extern char** environ;

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;

constexpr std::array<int, 3> kEndingSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t endingSignal = 0;

void NoteEndingSignal(int signal) {
    endingSignal = signal;
}

// Unattended: no menu entries for shell links, no offer to install the .NET runtime or the HTML engine, and
// Wine's own messages left out of the log.
const std::map<std::string, std::string> kUnattended = {
    {"WINEDEBUG", "-all"},
    {"WINEARCH", "win64"},
    {"WINEDLLOVERRIDES", "winemenubuilder.exe=d;mscoree=;mshtml="},
};

std::string FromEnvironment(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

// The scratch folder under $TMPDIR (/tmp without one), made only for this session.
fs::path MakeScratch() {
    std::string pattern = FromEnvironment("TMPDIR", "/tmp") + "/patchkit-trial.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no scratch folder can be made under " + Quoted(pattern) + " (" + Reason(errno) + ")");
    }
    return pattern;
}

// Wine makes the user's Desktop, Documents and the like links to folders of this machine's account: in a copied
// prefix they become folders of its own, so that nothing a patcher puts there lands outside it.
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

// Links the system files of the template (drive_c/windows, which no program of a trial writes), copies the rest.
void CopyPrefix(const fs::path& from, const fs::path& to) {
    if (!fs::is_directory(from / "drive_c") || !fs::exists(from / "system.reg")) {
        throw std::runtime_error(Quoted(from.string()) + " is no Wine prefix (it has no drive_c and system.reg)");
    }
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
        const fs::path target = to / entry.path().filename();
        if (entry.path().filename() != "drive_c") {
            fs::copy(entry.path(), target, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            continue;
        }
        fs::create_directories(target);
        for (const fs::directory_entry& inner : fs::directory_iterator(entry.path())) {
            const auto options = inner.path().filename() == "windows"
                                     ? fs::copy_options::recursive | fs::copy_options::create_hard_links
                                     : fs::copy_options::recursive | fs::copy_options::copy_symlinks;
            fs::copy(inner.path(), target / inner.path().filename(), options);
        }
        DetachUserFolders(target / "users");
    }
}

// The smallest program for 32-bit x86 Linux: an ELF header, one segment, and the code of exit(0)
// (mov eax, 1; xor ebx, ebx; int 0x80), loaded at 0x08048000 and started at byte 84, right after the headers.
constexpr std::array<std::uint8_t, 93> kExitProgram32 = {
    // ELF identification: 32-bit, little-endian, version 1
    0x7F, 'E', 'L', 'F', 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // an executable for the 80386, version 1, entry 0x08048054, program headers at 52
    2, 0, 3, 0, 1, 0, 0, 0, 0x54, 0x80, 0x04, 0x08, 52, 0, 0, 0,
    // no section headers, no flags, header size 52, one program header of 32 bytes
    0, 0, 0, 0, 0, 0, 0, 0, 52, 0, 32, 0, 1, 0, 0, 0, 0, 0, 0, 0,
    // a loaded segment: the whole file at 0x08048000, 93 bytes, readable and executable, aligned to 4 KiB
    1, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80, 0x04, 0x08, 0x00, 0x80, 0x04, 0x08, 93, 0, 0, 0, 93, 0, 0, 0, 5, 0, 0, 0, 0x00,
    0x10, 0x00, 0x00,
    // the code
    0xB8, 0x01, 0x00, 0x00, 0x00, 0x31, 0xDB, 0xCD, 0x80};

}  // namespace

WineSession::SignalGuard::SignalGuard() {
    endingSignal = 0;
    struct sigaction noting {};
    noting.sa_handler = NoteEndingSignal;
    sigemptyset(&noting.sa_mask);
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        ::sigaction(kEndingSignals[i], &noting, &old_[i]);
    }
}

WineSession::SignalGuard::~SignalGuard() {
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        ::sigaction(kEndingSignals[i], &old_[i], nullptr);
    }
}

WineSession::WineSession() : scratch_(MakeScratch()), prefix_(scratch_ / "pfx"), log_(scratch_ / "wine.log") {
    std::error_code error;
    fs::create_directory(scratch_ / "tmp", error);
    if (error) {
        fs::remove_all(scratch_, error);
        throw std::runtime_error("no scratch folder can be made in " + Quoted(scratch_.string()));
    }
}

WineSession::~WineSession() {
    StopServer();
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
}

void WineSession::StopServer() noexcept {
    if (!serverStarted_) {
        return;
    }
    serverStarted_ = false;
    try {
        const std::string server = FromEnvironment("WINESERVER", "wineserver");
        Spawn({server, "-k"}, std::chrono::seconds(30), OnSignal::Finish);
        Spawn({server, "-w"}, std::chrono::seconds(30), OnSignal::Finish);
    } catch (const std::exception&) {
        // A server that cannot be reached runs nothing that could hold the folder.
    }
}

void WineSession::MakePrefix(const fs::path& prefixTemplate) {
    if (!prefixTemplate.empty()) {
        try {
            CopyPrefix(prefixTemplate, prefix_);
        } catch (const fs::filesystem_error& error) {
            throw std::runtime_error("the Wine prefix " + Quoted(prefixTemplate.string()) + " cannot be copied (" +
                                     error.code().message() + ")");
        }
    } else {
        fs::create_directories(prefix_);
    }
    // One server for the whole session: each program started afterwards starts in a moment.
    serverStarted_ = true;
    Spawn({FromEnvironment("WINESERVER", "wineserver"), "-p"}, std::chrono::seconds(60));
    if (prefixTemplate.empty()) {
        const int booted = Run("wineboot", {"-i"}, std::chrono::seconds(300));
        if (booted != 0) {
            throw std::runtime_error("Wine could not make its prefix (wineboot -i ended with " +
                                     std::to_string(booted) + "): " + LastLogLine());
        }
    }
}

int WineSession::Run(const std::string& program,
                     const std::vector<std::string>& arguments,
                     std::optional<std::chrono::seconds> deadline) {
    std::vector<std::string> command = {FromEnvironment("WINELOADER", "wine"), program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return Spawn(command, deadline);
}

int WineSession::Spawn(const std::vector<std::string>& command,
                       std::optional<std::chrono::seconds> deadline,
                       OnSignal onSignal) {
    if (onSignal == OnSignal::End && endingSignal != 0) {
        throw Interrupted();
    }
    std::map<std::string, std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (const std::size_t equals = entry.find('='); equals != std::string::npos) {
            variables[entry.substr(0, equals)] = entry.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : kUnattended) {
        variables[name] = value;
    }
    variables["WINEPREFIX"] = prefix_.string();
    // Wine keeps its server's folder in TMPDIR: inside the session's folder, it goes with it.
    variables["TMPDIR"] = (scratch_ / "tmp").string();
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables) {
        entries.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (std::string& argument : args) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    // Wine's helper processes inherit the output and may outlive the program: a file, never a pipe.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + Quoted(command[0]) + " (" + Reason(spawned) +
                                 "): Wine is `wine` on PATH, or the loader that WINELOADER names");
    }
    const auto end = std::chrono::steady_clock::now() + deadline.value_or(std::chrono::hours(24));
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            throw std::runtime_error("lost " + Quoted(command[0]) + " (" + Reason(errno) + ")");
        }
        const bool interrupted = onSignal == OnSignal::End && endingSignal != 0;
        if (interrupted || std::chrono::steady_clock::now() > end) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            if (interrupted) {
                throw Interrupted();
            }
            return kDidNotEnd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string WineSession::LastLogLine() const {
    std::ifstream in(log_);
    std::string last = "Wine printed nothing";
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            last = line;
        }
    }
    return OneLine(last);
}

bool KernelRuns32BitPrograms(const fs::path& scratch) {
    const fs::path probe = scratch / "runs-32-bit";
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(kExitProgram32.data()), kExitProgram32.size());
        if (!out) {
            return true;
        }
    }
    ::chmod(probe.c_str(), 0700);
    std::string path = probe.string();
    char* argv[] = {path.data(), nullptr};
    char* envp[] = {nullptr};
    pid_t child = 0;
    // posix_spawn (not posix_spawnp) reports a program that the kernel cannot run as ENOEXEC, and never hands
    // it to a shell instead.
    const int spawned = ::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, envp);
    if (spawned == 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    std::error_code ignored;
    fs::remove(probe, ignored);
    return spawned != ENOEXEC;
}

}  // namespace patcher::patchkit

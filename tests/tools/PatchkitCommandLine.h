#pragma once

// The maintainers' tool at the command line, as the tests of its refusals run it: a program run with exact
// arguments and watched for a minute at most, and the promise that every refusal keeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/TinyRelease.h"

extern char** environ;

namespace patcher::testing {

namespace fs = std::filesystem;

// Everything at a path, links not followed: each file's bytes, each link's target, each folder.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> seen;
    const auto record = [&](const fs::path& path, const std::string& name) {
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            seen[name] = "link to " + fs::read_symlink(path).string();
        } else if (fs::is_regular_file(status)) {
            seen[name] = "file " + ReadText(path);
        } else if (fs::is_directory(status)) {
            seen[name] = "folder";
        } else if (fs::exists(status)) {
            seen[name] = "other";
        }
    };
    record(root, ".");
    if (fs::is_directory(fs::symlink_status(root))) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            record(entry.path(), fs::relative(entry.path(), root).string());
        }
    }
    return seen;
}

struct Outcome {
    int ExitCode = -1;  // 128 + the signal for a program that was killed
    bool TimedOut = false;
    std::string Output;
    std::string Errors;
};

// The file actions of one spawn, released on every path.
class SpawnActions {
  public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* Get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_{};
};

// Runs a program with exactly these arguments (no shell reads them: they may hold line breaks and quotes),
// its output and errors into files of `scratch`, and waits for it for at most 60 seconds; a program still
// running then is killed and reported as timed out.
inline Outcome RunProgram(const std::vector<std::string>& arguments, const fs::path& scratch) {
    const fs::path output = scratch / "stdout.txt";
    const fs::path errors = scratch / "stderr.txt";
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.Get(), 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_addopen(actions.Get(), 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Outcome outcome;
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0) {
        outcome.Errors = "cannot start " + arguments[0];
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            outcome.TimedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    outcome.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.Output = ReadText(output);
    outcome.Errors = ReadText(errors);
    return outcome;
}

// patchkit with these arguments, under a file-size limit of 32 KiB when `fullDisk` is set: every write past
// it fails as a write onto a full disk does (with "File too large" rather than "No space left on device").
// The signal that such a write raises (SIGXFSZ) ends a program unless it ignores it, as patchkit does.
inline std::vector<std::string> Patchkit(std::vector<std::string> arguments, bool fullDisk = false) {
    arguments.insert(arguments.begin(), PATCHER_HOST_PATCHKIT);
    if (fullDisk) {
        arguments.insert(arguments.begin(), {"/bin/sh", "-c", "ulimit -f 64; exec \"$0\" \"$@\""});
    }
    return arguments;
}

// A release, its description and the patcher of a build that succeeded, in a folder of their own.
class Refusals : public ::testing::Test {
  protected:
    Refusals() {
        WriteTinyRelease(Release());
        WriteFile(Description(), kTinyDescription);
        scratch_ = dir_.Path() / "scratch";
        fs::create_directories(scratch_);
        const Outcome built = RunProgram(Build(Description()), scratch_);
        EXPECT_EQ(built.ExitCode, 0) << built.Errors;
    }

    fs::path Dir() const { return dir_.Path(); }
    fs::path Release() const { return dir_.Path() / "release"; }
    fs::path Out() const { return dir_.Path() / "out"; }
    std::string Description() const { return (dir_.Path() / "patch.toml").string(); }
    // The patcher that the fixture's build wrote.
    fs::path Patcher() const { return Out() / kTinyPatcher; }

    // A description of this name beside the standard one.
    std::string Describe(const std::string& name, const std::string& text) const {
        WriteFile(Dir() / name, text);
        return (Dir() / name).string();
    }

    // A build of this description into OUT, written into the i686 exit stub.
    std::vector<std::string> Build(const std::string& description, const fs::path& out = {}) const {
        return Patchkit({"build", "--greedy", "--stub", ExitStub(), description, Release(), out.empty() ? Out() : out});
    }

    // Runs the command and checks the promise of a refusal; `watched` are the places that must stay as they
    // were besides the release folder, the description and OUTDIR. Returns the message.
    std::string ExpectRefused(const std::vector<std::string>& command,
                              const std::string& fragment,
                              std::vector<fs::path> watched = {}) const {
        watched.insert(watched.end(), {Release(), Description(), Out()});
        std::vector<std::map<std::string, std::string>> before;
        for (const fs::path& path : watched) {
            before.push_back(Snapshot(path));
        }
        const Outcome outcome = RunProgram(command, scratch_);
        // The command's name follows patchkit's path, also behind a shell or another program that runs it.
        const auto patchkit = std::find(command.begin(), command.end(), PATCHER_HOST_PATCHKIT);
        const std::string name = patchkit != command.end() && patchkit + 1 != command.end() ? *(patchkit + 1) : "";
        EXPECT_FALSE(outcome.TimedOut) << "still running after a minute: " << fragment;
        EXPECT_EQ(outcome.ExitCode, 1) << outcome.Errors;
        EXPECT_EQ(std::count(outcome.Errors.begin(), outcome.Errors.end(), '\n'), 1) << outcome.Errors;
        EXPECT_TRUE(outcome.Errors.ends_with("\n")) << outcome.Errors;
        EXPECT_EQ(outcome.Errors.rfind("patchkit " + name + ": ", 0), 0u) << outcome.Errors;
        EXPECT_NE(outcome.Errors.find(fragment), std::string::npos)
            << "want: " << fragment << "\ngot:  " << outcome.Errors;
        for (std::size_t i = 0; i < watched.size(); ++i) {
            EXPECT_TRUE(Snapshot(watched[i]) == before[i]) << watched[i] << " changed: " << fragment;
        }
        return outcome.Errors;
    }

    // The scratch entries (".pk-...") that anything left anywhere in the test's folder.
    std::vector<std::string> ScratchLeft() const {
        std::vector<std::string> left;
        for (const auto& [path, what] : Snapshot(Dir())) {
            if (fs::path(path).filename().string().starts_with(".pk-")) {
                left.push_back(path);
            }
        }
        return left;
    }

    Outcome Succeeds(const std::vector<std::string>& command) const {
        Outcome outcome = RunProgram(command, scratch_);
        EXPECT_EQ(outcome.ExitCode, 0) << outcome.Errors;
        return outcome;
    }

  private:
    TempDir dir_;
    fs::path scratch_;
};

}  // namespace patcher::testing

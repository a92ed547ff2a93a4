#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace patcher::e2e {

// Runs a program and waits for it. Standard input comes from /dev/null; standard output and error go to
// `log` (appended), never to a pipe: Wine's helper processes inherit them and outlive the program, and a
// reader of a pipe would wait for them. `environment` adds to or replaces variables of this process's
// environment; an empty value removes the variable. Returns the exit code (128 + signal when killed). With a
// deadline, a program still running then is killed and kDidNotEnd returned.
inline constexpr int kDidNotEnd = -1;
int RunProgram(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment,
               const std::filesystem::path& log,
               std::optional<std::chrono::seconds> deadline = std::nullopt);
// The same with standard error apart from standard output, where `errors` names a file of its own.
int RunProgram(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment,
               const std::filesystem::path& output,
               const std::optional<std::filesystem::path>& errors,
               std::optional<std::chrono::seconds> deadline);

// What a console program printed, apart, and how it ended.
struct ConsoleRun {
    int ExitCode = kDidNotEnd;
    std::string Output;
    std::string Errors;
};

// The template that every scenario's prefix copies: made once for all the scenarios of a machine, and kept. A
// scenario that runs a program making its own prefix (patchkit trial) may have it copy this one too.
const std::filesystem::path& PrefixTemplate();

// A throwaway Wine prefix for one scenario. Every prefix is a copy of one template, made once for all the
// scenarios of a machine and kept (creating a prefix takes Wine half a minute): the system files are hard
// links to the template's, which nothing writes, and everything else (the registry among it) is copied.
// The template is set up for tests on a display without a window manager: the window system does not wait
// for a manager to confirm that a window was hidden (2 seconds per window otherwise).
class WinePrefix {
  public:
    // `locale` becomes LANG for every Wine program of the prefix (its thread and user locale).
    explicit WinePrefix(std::string locale = "C.UTF-8");
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;
    // Ends every Wine program of the prefix and removes it.
    ~WinePrefix();

    const std::filesystem::path& Root() const { return root_; }
    // drive C: of the prefix.
    std::filesystem::path DriveC() const { return root_ / "drive_c"; }
    // A file or folder of this machine as Windows programs of the prefix name it.
    std::string WindowsPath(const std::filesystem::path& path) const;

    // Runs a Windows program (given by its path on this machine) with arguments; returns its exit code, or
    // kDidNotEnd when it has not ended by the deadline.
    int Wine(const std::filesystem::path& program,
             const std::vector<std::string>& arguments = {},
             std::optional<std::chrono::seconds> deadline = std::nullopt);
    // Runs a Windows console program, its standard output and error (the bytes it wrote, with whatever Wine
    // adds) kept apart; a program still running at the deadline is killed (kDidNotEnd).
    ConsoleRun WineConsole(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments,
                           std::chrono::seconds deadline);
    // The locale of the programs started from now on (LANG: their thread and user locale, and their ANSI code
    // page).
    void SetLocale(std::string locale) { locale_ = std::move(locale); }
    // Runs one of Wine's own programs, as `wine reg ...`.
    int WineTool(const std::vector<std::string>& arguments);
    // Ends every program of the prefix and its server (which saves the registry first), so that the next
    // program starts with what the registry holds now (a new resolution, say).
    void Restart();

    // Everything the prefix's programs wrote to their standard output and error.
    std::string Log() const;

  private:
    std::map<std::string, std::string> Environment() const;

    std::filesystem::path scratch_;
    std::filesystem::path root_;
    std::string locale_;
};

}  // namespace patcher::e2e

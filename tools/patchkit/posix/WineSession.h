#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace patcher::patchkit {

// One throwaway Wine prefix on Linux, in a scratch folder of its own under $TMPDIR, with its own Wine server for
// as long as the session lasts; what Wine keeps in its TMPDIR is kept in that folder too. Wine is the loader that
// WINELOADER names, else `wine` on PATH; its server WINESERVER, else `wineserver` on PATH. Everything Wine prints goes
// to a log in the scratch folder. Ctrl-C (SIGINT), SIGTERM and SIGHUP end the program that runs and then the operation,
// by the exception Interrupted, so that the session still stops its server and removes its folder.
class WineSession {
  public:
    // Thrown where a signal asked the session to end.
    struct Interrupted : std::runtime_error {
        Interrupted() : std::runtime_error("interrupted; its Wine prefix is removed") {}
    };

    static constexpr int kDidNotEnd = -1;

    // Makes the scratch folder; nothing of Wine starts yet. Throws std::runtime_error.
    WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;
    // Stops every program of the prefix and its server, and removes the scratch folder.
    ~WineSession();

    const std::filesystem::path& Scratch() const { return scratch_; }
    std::filesystem::path DriveC() const { return prefix_ / "drive_c"; }

    // Makes the prefix and starts its server: a copy of `prefixTemplate` (its system files linked, nothing of
    // it changed), or one that Wine makes (half a minute) where that is empty. Throws std::runtime_error.
    void MakePrefix(const std::filesystem::path& prefixTemplate);

    // Runs a program under Wine, a Windows program by its path on this machine or one of Wine's own by its
    // name ("wineboot"), and waits for it: its exit code, or kDidNotEnd where it ran past the deadline and was
    // stopped. Throws std::runtime_error where Wine cannot be started, Interrupted on a signal.
    int Run(const std::string& program,
            const std::vector<std::string>& arguments,
            std::optional<std::chrono::seconds> deadline = std::nullopt);

    // The last line that Wine printed, for a message about a program that failed.
    std::string LastLogLine() const;

  private:
    class SignalGuard {
      public:
        SignalGuard();
        SignalGuard(const SignalGuard&) = delete;
        SignalGuard& operator=(const SignalGuard&) = delete;
        ~SignalGuard();

      private:
        struct sigaction old_[3];
    };

    // A program whose end a signal may hasten (every one but those that stop the server).
    enum class OnSignal { End, Finish };
    int Spawn(const std::vector<std::string>& command,
              std::optional<std::chrono::seconds> deadline,
              OnSignal onSignal = OnSignal::End);
    void StopServer() noexcept;

    SignalGuard signals_;
    std::filesystem::path scratch_;
    std::filesystem::path prefix_;
    std::filesystem::path log_;
    bool serverStarted_ = false;
};

// Whether the kernel runs 32-bit x86 programs (some virtual machines' kernels have no such support, and Wine
// then runs no i686 Windows program either): tried with a program of a few bytes written into `scratch`. Where
// it cannot be tried at all (a folder that allows no programs), true, and Wine will tell.
bool KernelRuns32BitPrograms(const std::filesystem::path& scratch);

}  // namespace patcher::patchkit

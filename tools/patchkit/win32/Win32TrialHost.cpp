#include <windows.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "platform/win32/UniqueHandle.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/TrialHost.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using patcher::win32::UniqueKernelHandle;

// Started unattended, a patcher never waits for anyone: one that still runs after this has hung.
constexpr DWORD kPatcherDeadlineMs = 120'000;
constexpr const wchar_t* kLogName = L"patcher.log";

// One argument of a command line, quoted as the C runtime and CommandLineToArgvW read it back: backslashes are
// doubled only before a quote.
std::wstring QuotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring Wide(const std::string& utf8) {
    return PathFromUtf8(utf8).wstring();
}

void WriteWhole(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + Quoted(Utf8Of(path)) + " into the trial's folder");
    }
}

// The trial's cases on Windows, in a folder of their own below the user's temporary folder: the patcher copied
// into it, and the product's folder, which each run names with /DIR= (nothing is recorded in the registry), with
// the patcher's log beside it. The folder goes with the host.
class Win32TrialHost final : public TrialHost {
  public:
    explicit Win32TrialHost(TrialPrograms programs) : programs_(std::move(programs)) {
        std::error_code error;
        const fs::path temporary = fs::temp_directory_path(error);
        if (error) {
            throw std::runtime_error("no temporary folder for the trial (" + error.message() + ")");
        }
        for (unsigned attempt = 0;; ++attempt) {
            folder_ = temporary /
                      ("patchkit-trial-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt));
            if (fs::create_directory(folder_, error)) {
                break;
            }
            if (error || attempt == 100) {
                throw std::runtime_error("the trial's folder cannot be made below " + Quoted(Utf8Of(temporary)) +
                                         (error ? " (" + error.message() + ")" : std::string()));
            }
        }
    }

    ~Win32TrialHost() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    Win32TrialHost(const Win32TrialHost&) = delete;
    Win32TrialHost& operator=(const Win32TrialHost&) = delete;

    void Prepare(const PatchTables&) override {
        std::error_code error;
        fs::create_directories(Product(), error);
        if (!error) {
            fs::copy_file(programs_.Patcher, Patcher(), fs::copy_options::overwrite_existing, error);
        }
        if (error) {
            throw std::runtime_error("the patcher cannot be copied into the trial's folder " + Quoted(Utf8Of(folder_)) +
                                     " (" + error.message() + ")");
        }
    }

    void Install(const std::vector<File>& files) override {
        std::error_code error;
        fs::remove_all(Product(), error);
        if (!error) {
            fs::create_directories(Product(), error);
        }
        if (error) {
            throw std::runtime_error("the product's folder " + Quoted(Utf8Of(Product())) + " cannot be made afresh (" +
                                     error.message() + ")");
        }
        for (const File& file : files) {
            WriteWhole(Product() / PathFromUtf8(file.Name), file.Bytes);
        }
        fs::remove(LogFile(), error);
    }

    int RunPatcher(const std::vector<std::string>& options) override {
        std::wstring commandLine = QuotedArgument(Patcher().wstring());
        for (const std::string& option : options) {
            commandLine += L" " + QuotedArgument(Wide(option));
        }
        commandLine += L" " + QuotedArgument(L"/DIR=" + Product().wstring());
        commandLine += L" " + QuotedArgument(L"/LOG=" + LogFile().wstring());

        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(Patcher().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder_.c_str(), &startup, &started)) {
            throw std::runtime_error("the patcher cannot be started (" +
                                     std::system_category().message(static_cast<int>(::GetLastError())) + ")");
        }
        const UniqueKernelHandle process(started.hProcess);
        const UniqueKernelHandle thread(started.hThread);
        if (::WaitForSingleObject(process.Get(), kPatcherDeadlineMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.Get(), 1);
            ::WaitForSingleObject(process.Get(), INFINITE);
            return kDidNotEnd;
        }
        DWORD exitCode = 0;
        ::GetExitCodeProcess(process.Get(), &exitCode);
        return static_cast<int>(exitCode);
    }

    std::optional<std::vector<std::uint8_t>> ReadBack(const std::string& name) override {
        return ReadBackProductFile(Product() / PathFromUtf8(name));
    }

    std::string Log() override {
        std::ifstream in(LogFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    fs::path Patcher() const { return folder_ / programs_.Patcher.filename(); }
    fs::path Product() const { return folder_ / "Vokarion"; }
    fs::path LogFile() const { return folder_ / kLogName; }

    TrialPrograms programs_;
    fs::path folder_;
};

}  // namespace

bool TrialHostRecords() {
    return false;
}

std::unique_ptr<TrialHost> MakeTrialHost(const TrialPrograms& programs) {
    return std::make_unique<Win32TrialHost>(programs);
}

}  // namespace patcher::patchkit

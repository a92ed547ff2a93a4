#include "tools/patchkit/posix/WineTrialHost.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "profile/ProductKinds.h"
#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;

// Where a per-machine installer puts the product on a 64-bit Windows, with the delimiter it records.
constexpr const char* kProductFolder = "C:\\Program Files (x86)\\Vokarion\\";
// The patcher's place, and its log's.
constexpr const char* kTrialFolder = "C:\\patchkit-trial\\";
constexpr const char* kLogName = "patcher.log";

// Started unattended, a patcher never waits for anyone: one that still runs after this has hung.
constexpr std::chrono::seconds kPatcherDeadline{120};
constexpr std::chrono::seconds kRecordDeadline{60};

// A folder of drive C: as this machine names it.
fs::path OnDriveC(const WineSession& session, const std::string& windowsFolder) {
    std::string relative = windowsFolder.substr(3);
    for (char& c : relative) {
        if (c == '\\') {
            c = '/';
        }
    }
    return session.DriveC() / relative;
}

void WriteWhole(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + Quoted(path.string()) + " into the Wine prefix");
    }
}

}  // namespace

WineTrialHost::WineTrialHost(Programs programs) : programs_(std::move(programs)) {
    if (!programs_.Patcher64Bit && !KernelRuns32BitPrograms(session_.Scratch())) {
        throw std::runtime_error(
            "this machine runs no 32-bit programs, and so Wine runs no i686 patcher: try the patcher's x86_64 "
            "build (patchkit build --target x86_64)");
    }
}

void WineTrialHost::Prepare(const PatchTables& tables) {
    session_.MakePrefix(programs_.Template);
    const fs::path trialFolder = OnDriveC(session_, kTrialFolder);
    fs::create_directories(trialFolder);
    fs::create_directories(OnDriveC(session_, kProductFolder));
    try {
        fs::copy_file(programs_.Patcher, trialFolder / programs_.Patcher.filename());
    } catch (const fs::filesystem_error& error) {
        throw std::runtime_error("the patcher cannot be copied into the Wine prefix (" + error.code().message() + ")");
    }
    // The record names the folder, which stays while each case installs the product into it afresh.
    switch (InstallRecordOf(tables.ProductKind)) {
        case InstallRecord::ProductKey:
            Record({"--hive=hkcu", std::to_string(tables.ProductIndex), kProductFolder});
            Record({"--hive=hklm", std::to_string(tables.ProductIndex), kProductFolder});
            break;
        case InstallRecord::FixedKey:
            Record({"--fixed", kProductFolder});
            break;
        case InstallRecord::None:
            break;
    }
}

void WineTrialHost::Record(const std::vector<std::string>& arguments) {
    const int written = session_.Run(programs_.RecordWriter.string(), arguments, kRecordDeadline);
    if (written != 0) {
        throw std::runtime_error("the record writer " + Quoted(programs_.RecordWriter.string()) +
                                 " did not write the product's record under Wine (exit code " +
                                 std::to_string(written) + "): " + session_.LastLogLine());
    }
}

void WineTrialHost::Install(const std::vector<File>& files) {
    const fs::path folder = OnDriveC(session_, kProductFolder);
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const File& file : files) {
        WriteWhole(folder / file.Name, file.Bytes);
    }
    std::error_code ignored;
    fs::remove(OnDriveC(session_, kTrialFolder) / kLogName, ignored);
}

int WineTrialHost::RunPatcher(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = options;
    arguments.push_back(std::string("/LOG=") + kTrialFolder + kLogName);
    const int exitCode = session_.Run((OnDriveC(session_, kTrialFolder) / programs_.Patcher.filename()).string(),
                                      arguments, kPatcherDeadline);
    return exitCode == WineSession::kDidNotEnd ? kDidNotEnd : exitCode;
}

std::optional<std::vector<std::uint8_t>> WineTrialHost::ReadBack(const std::string& name) {
    return ReadBackProductFile(OnDriveC(session_, kProductFolder) / name);
}

std::string WineTrialHost::Log() {
    std::ifstream in(OnDriveC(session_, kTrialFolder) / kLogName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool TrialHostRecords() {
    return true;
}

std::unique_ptr<TrialHost> MakeTrialHost(const TrialPrograms& programs) {
    return std::make_unique<WineTrialHost>(programs);
}

}  // namespace patcher::patchkit

#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindowDesign.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "tables/PatchTables.h"
#include "tests/e2e/WinePrefix.h"

namespace patcher::e2e {

// The steps that the driver program carries out on the patcher's windows (its usage lists them). Texts go
// as Windows-1250 bytes in hex, so that they reach the driver unchanged.
class DriverScript {
  public:
    DriverScript& Start(const std::string& exe);
    DriverScript& Hold(const std::string& file);
    DriverScript& Writable(const std::string& file);
    DriverScript& Click(MainControl button);
    DriverScript& PostClick(MainControl button);
    DriverScript& Key(const std::string& key);
    DriverScript& SendClose();
    DriverScript& ExpectText(MainControl control, ByteStringView text, unsigned codePage = 1250);
    DriverScript& Expect(MainControl control, const std::string& states);
    DriverScript& WaitDialog(ByteStringView text, unsigned codePage = 1250);
    DriverScript& Answer();
    DriverScript& NoDialog();
    DriverScript& Dump(LanguageCode language);
    // The patcher has ended with this exit code.
    DriverScript& Exited(int exitCode = 0);

    const std::string& Text() const { return text_; }

  private:
    DriverScript& Line(const std::string& line);
    std::string text_;
};

// One control as the driver's dump reports it.
struct SeenControl {
    bool Visible = false;
    bool Enabled = false;
    bool Down = false;
    bool Focused = false;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Fits = false;
    std::string Text;  // UTF-8
};

// What the driver reported of a script.
struct DriverReport {
    int ExitCode = -1;
    std::string Text;  // the whole report, for failure messages
    bool Completed() const { return ExitCode == 0 && Text.find("\ndone\n") != std::string::npos; }

    // The controls of the n-th dump (0-based), by name.
    std::map<std::string, SeenControl> Dump(std::size_t n = 0) const;
    // screen size=W,H dpi=N and outer rect=L,T,W,H of the n-th dump.
    std::vector<int> DumpNumbers(const std::string& key, std::size_t n = 0) const;
    // The texts (UTF-8) of the dialogs shown, in order, with the line breaks where the dialog broke a long
    // line as the spaces they stand for.
    std::vector<std::string> Dialogs() const;
};

// The Windows programs that the scenarios run besides the patcher, from the Windows build under test.
struct WindowsPrograms {
    std::filesystem::path Driver;        // patcher_driver.exe
    std::filesystem::path RecordWriter;  // patcher-record.exe
};
const WindowsPrograms& Programs();

// The patcher of the descriptions/<name>.toml (or tests/e2e/<name>.toml) that `patchkit build` made from the
// stub of the Windows build under test, into build/patches/<name>/<preset>: the English one unless a name is
// given ("VokarDe-2.1").
inline constexpr char kEnglishPatch[] = "VokarEn-1.5.3";
std::filesystem::path PatcherExe(const std::string& patch = "");

// The product installed in a throwaway prefix: its folder, its registry record, the patcher downloaded
// into the user's Downloads folder, and the driver that runs it.
class Installation {
  public:
    explicit Installation(std::string locale = "C.UTF-8", const std::filesystem::path& patcher = PatcherExe());

    WinePrefix& Prefix() { return *prefix_; }

    // "C:\Program Files (x86)\Vokarion", as the installer makes it.
    std::filesystem::path Folder() const;
    std::string WindowsFolder() const;  // with its final delimiter, as the installer records it
    std::filesystem::path File(ByteStringView name) const { return Folder() / std::string(name); }
    std::string WindowsFile(ByteStringView name) const { return WindowsFolder() + std::string(name); }

    // Puts bytes into the product's folder under the name.
    void Put(ByteStringView name, const std::vector<std::uint8_t>& bytes);
    // The record of product `productIndex` in the hive ("hkcu" or "hklm"), naming `windowsDir`.
    void Record(const std::string& hive, int productIndex, const std::string& windowsDir);
    // The same as a Polish installer writes it, whatever the locale of the programs that follow: by a program
    // with code page 1250, naming the folder by its Windows-1250 bytes.
    void RecordAsAPolishInstaller(const std::string& hive, int productIndex, ByteStringView windows1250Dir);
    // Sets the screen's resolution for the programs started from now on.
    void SetDpi(int dpi);

    // The current user's Start-menu Programs folder.
    std::filesystem::path StartMenuPrograms() const;
    // Every shell link (.lnk) on drive C:, Start-menu groups included.
    std::vector<std::filesystem::path> Shortcuts() const;

    // The patcher as the user starts it, from the Downloads folder, and that folder.
    std::string Patcher() const { return patcher_; }
    std::filesystem::path Downloads() const;
    DriverReport Run(const DriverScript& script);
    // Starts the patcher with these arguments, as a deployment tool would, and waits for it; returns its exit
    // code, or kDidNotEnd for a patcher still running after a minute and a half.
    int RunPatcher(const std::vector<std::string>& arguments);

  private:
    std::unique_ptr<WinePrefix> prefix_;
    std::string locale_;
    std::string patcher_;
    int runs_ = 0;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
// The names of what a folder holds, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);
// The tables that a patcher carries, as `PatcherExe(patch)` names it, read from the exe once.
const PatchTables& TablesOf(const std::string& patch = "");

// The stand-in of a known build of a product file: the release that the patchers under test were built from.
const std::vector<std::uint8_t>& Standin(int fileIndex, int version);
std::string Utf8FromWindows1250(ByteStringView bytes);

}  // namespace patcher::e2e

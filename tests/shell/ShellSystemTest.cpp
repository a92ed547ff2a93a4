// The registry, the directory lookup and the help shortcuts against the real system: under Wine, in the
// prefix of the test run. Product records are written by the record writer of tools/record.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/ComPtr.h"
#include "platform/win32/UniqueHandle.h"
#include "profile/ProductProfile.h"
#include "shell/HelpShortcuts.h"
#include "shell/InstallDirLookup.h"
#include "shell/StartMenu.h"
#include "tests/support/InstalledBuildTables.h"
#include "tests/support/TempDir.h"
#include "tests/support/Win32TestHandles.h"

namespace patcher {
namespace {

using win32::ComApartment;
using win32::ComPtr;
using win32::PutVoid;
using win32::UniqueKernelHandle;
using win32::UniqueRegistryKey;

// One argument as the C runtime splits a command line: backslashes double only before a quote.
std::string Quote(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// Runs the record writer with the arguments given and returns its exit code (-1 when it did not run).
int RecordInstallDir(const std::vector<std::string>& arguments) {
    std::string commandLine = Quote(PATCHER_RECORD_WRITER);
    for (const std::string& argument : arguments) {
        commandLine += ' ';
        commandLine += Quote(argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return -1;
    }
    const UniqueKernelHandle processHandle(process.hProcess);
    const UniqueKernelHandle threadHandle(process.hThread);
    DWORD exitCode = 0;
    if (::WaitForSingleObject(processHandle.Get(), 60000) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(processHandle.Get(), &exitCode)) {
        return -1;
    }
    return static_cast<int>(exitCode);
}

// ---------------------------------------------------------------- the registry itself

constexpr const char* kTestKey = "Software\\VokarionPatcherTests";

class SystemRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(
            ::RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key_.Put(), nullptr),
            ERROR_SUCCESS);
    }
    void TearDown() override {
        key_.Reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    }

    void Set(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(::RegSetValueExA(key_.Get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    std::unique_ptr<RegistryKey> Open() {
        auto key = SystemRegistry().OpenKey(RegistryHive::CurrentUser, kTestKey);
        EXPECT_NE(key, nullptr);
        return key;
    }

    UniqueRegistryKey key_;
};

TEST_F(SystemRegistryTest, ReadsStringsAsStoredAndNeverPastTheirData) {
    Set("terminated", REG_SZ, std::string("C:\\Vokarion\\", 13));
    Set("unterminated", REG_SZ, "abc");
    Set("inner zero", REG_SZ, std::string("abc\0def\0", 8));
    Set("expandable", REG_EXPAND_SZ, std::string("%SystemRoot%\\Vokarion\0", 22));
    Set("empty", REG_SZ, "");
    const std::string big(70000, 'x');
    Set("big", REG_SZ, big + '\0');
    // Five bytes of UTF-16: two characters and half of a third.
    const wchar_t odd[] = L"abc";
    ASSERT_EQ(::RegSetValueExW(key_.Get(), L"odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd), 5), ERROR_SUCCESS);

    const auto key = Open();
    ASSERT_TRUE(key);
    EXPECT_EQ(ReadRegistryString(*key, "terminated"), "C:\\Vokarion\\");
    EXPECT_EQ(ReadRegistryString(*key, "unterminated"), "abc");
    EXPECT_EQ(ReadRegistryString(*key, "inner zero"), "abc");
    EXPECT_EQ(ReadRegistryString(*key, "expandable"), "%SystemRoot%\\Vokarion");
    EXPECT_EQ(ReadRegistryString(*key, "empty"), "");
    EXPECT_EQ(ReadRegistryString(*key, "big"), big);
    const ByteString oddText = ReadRegistryString(*key, "odd");
    EXPECT_EQ(oddText.substr(0, 2), "ab");
    EXPECT_LE(oddText.size(), 3u);
    EXPECT_EQ(ReadRegistryString(*key, "absent"), "");
}

TEST_F(SystemRegistryTest, NonStringValuesExistButDoNotReadAsStrings) {
    Set("dword", REG_DWORD, std::string("\x01\0\0\0", 4));
    Set("binary", REG_BINARY, "C:\\");
    Set("multi", REG_MULTI_SZ, std::string("C:\\\0D:\\\0\0", 9));
    const auto key = Open();
    ASSERT_TRUE(key);
    for (const char* name : {"dword", "binary", "multi"}) {
        EXPECT_TRUE(key->ValueExists(name)) << name;
        EXPECT_THROW(ReadRegistryString(*key, name), PlatformError) << name;
    }
    const auto dword = key->QueryValue("dword");
    ASSERT_TRUE(dword);
    EXPECT_EQ(dword->Type, kRegistryDword);
    EXPECT_EQ(dword->Data, std::string("\x01\0\0\0", 4));
    EXPECT_FALSE(key->ValueExists("absent"));
    EXPECT_FALSE(key->QueryValue("absent"));
    EXPECT_FALSE(key->ValueExists(std::string("dword\0x", 7)));
}

TEST_F(SystemRegistryTest, OpensOnlyKeysThatExist) {
    EXPECT_EQ(SystemRegistry().OpenKey(RegistryHive::CurrentUser, "Software\\VokarionPatcherTests\\Absent"), nullptr);
    EXPECT_EQ(SystemRegistry().OpenKey(RegistryHive::CurrentUser, std::string("Software\0Vokarion", 17)), nullptr);
    // Opening never creates the key.
    UniqueRegistryKey probe;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VokarionPatcherTests\\Absent", 0, KEY_READ, probe.Put()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_NE(SystemRegistry().OpenKey(RegistryHive::LocalMachine, "Software"), nullptr);
}

// ---------------------------------------------------------------- the lookup, on records written by the helper

class InstallDirOnTheSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetProductIdentity(profile_);  // this build's product: key row 2, scrambler method 2
        product_ = std::to_string(profile_.ProductIndex);
        RemoveRecords();
    }
    void TearDown() override { RemoveRecords(); }

    void RemoveRecords() {
        ASSERT_EQ(RecordInstallDir({"--hive=hkcu", "--remove", product_}), 0);
        ASSERT_EQ(RecordInstallDir({"--hive=hklm", "--remove", product_}), 0);
        ASSERT_EQ(RecordInstallDir({"--fixed", "--remove"}), 0);
    }

    ProductProfile profile_;
    std::string product_;
};

TEST_F(InstallDirOnTheSystemTest, FindsARecordOfTheCurrentUser) {
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "");
    ASSERT_EQ(RecordInstallDir({"--hive=hkcu", product_, "C:\\Program Files\\Vokarion Angielski\\"}), 0);
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "C:\\Program Files\\Vokarion Angielski\\");
}

TEST_F(InstallDirOnTheSystemTest, FindsARecordOfTheLocalMachine) {
    ASSERT_EQ(RecordInstallDir({"--hive=hklm", product_, "D:\\Vokarion\\"}), 0);
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "D:\\Vokarion\\");
}

TEST_F(InstallDirOnTheSystemTest, TheCurrentUserWinsUnlessItsValueIsEmpty) {
    ASSERT_EQ(RecordInstallDir({"--hive=hklm", product_, "D:\\Machine\\"}), 0);
    ASSERT_EQ(RecordInstallDir({"--hive=hkcu", product_, "E:\\User\\"}), 0);
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "E:\\User\\");
    ASSERT_EQ(RecordInstallDir({"--hive=hkcu", "--empty", product_}), 0);
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "D:\\Machine\\");
}

TEST_F(InstallDirOnTheSystemTest, APlainNameIsReadAndADwordUnderTheScrambledNameEndsTheHive) {
    ASSERT_EQ(RecordInstallDir({"--hive=hklm", product_, "D:\\Machine\\"}), 0);
    ASSERT_EQ(RecordInstallDir({"--hive=hkcu", "--plain", product_, "E:\\Plain\\"}), 0);
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "E:\\Plain\\");
    ASSERT_EQ(RecordInstallDir({"--hive=hkcu", "--dword", product_}), 0);
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "D:\\Machine\\");
}

// The kind that asks for the program file keeps its record in plain text under the family's fixed key of the
// local machine, whichever product it is; the product's own key is not read for it.
TEST_F(InstallDirOnTheSystemTest, TheFixedKeyHoldsTheFolderOfTheKindThatAsksForTheProgramFile) {
    ASSERT_EQ(RecordInstallDir({"--hive=hkcu", product_, "E:\\User\\"}), 0);
    ASSERT_EQ(RecordInstallDir({"--fixed", "C:\\Programme\\Vokarion\\"}), 0);
    ProductProfile fixed = profile_;
    fixed.ProductKind = 4;
    EXPECT_EQ(FindInstallDir(fixed, SystemRegistry()), "C:\\Programme\\Vokarion\\");
    EXPECT_EQ(FindInstallDir(profile_, SystemRegistry()), "E:\\User\\");
    EXPECT_EQ(RecordInstallDir({"--fixed", "7", "C:\\Vokarion\\"}), 2);
}

// ---------------------------------------------------------------- help shortcuts in the Start menu

struct LinkContents {
    std::string Target;
    std::string WorkingDirectory;
};

std::wstring Wide(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// Reads a shortcut back through the shell's own link object.
std::optional<LinkContents> ReadLink(const std::string& path) {
    ComPtr<IShellLinkA> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, PutVoid(link)))) {
        return std::nullopt;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link.Get()->QueryInterface(IID_IPersistFile, PutVoid(file))) ||
        FAILED(file.Get()->Load(Wide(path).c_str(), STGM_READ))) {
        return std::nullopt;
    }
    char target[MAX_PATH] = {};
    char directory[MAX_PATH] = {};
    if (FAILED(link.Get()->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
        FAILED(link.Get()->GetWorkingDirectory(directory, MAX_PATH))) {
        return std::nullopt;
    }
    return LinkContents{target, directory};
}

std::set<std::string> FileNames(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.insert(found.cFileName);
        }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

// Removes the test's group folder with the files in it. Refuses any folder that is not a product group,
// so that a set-up that failed early never empties another folder.
void RemoveFolder(const std::string& folder) {
    if (folder.size() < 4 || folder.find("\\Vokarion") == std::string::npos) {
        return;
    }
    for (const std::string& name : FileNames(folder)) {
        ::DeleteFileA((folder + "\\" + name).c_str());
    }
    ::RemoveDirectoryA(folder.c_str());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    const win32::UniqueFileHandle file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

const std::set<std::string> kNewShortcuts = {
    "Hilfedatei des Übersetzungsprogramms (Polnisch).lnk",
    "Hilfedatei des Übersetzungsprogramms (Deutsch).lnk",
    "Hilfedatei des Wörterbuchs (Polnisch).lnk",
    "Hilfedatei des Wörterbuchs (Deutsch).lnk",
};

// A product of kind 6 whose group has a German name of its own, installed with all four help files.
class HelpShortcutsOnTheSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(apartment_.Ready());
        profile_.ProductKind = 6;
        profile_.ProductIndex = 4;
        programs_ = ReadProgramsFolder(SystemRegistry());
        ASSERT_FALSE(programs_.empty());
        ASSERT_TRUE(SystemFileSystem().DirectoryExists(programs_)) << programs_;
        group_ = JoinPath(programs_, StartMenuGroupName(profile_.ProductIndex, kGerman));
        RemoveFolder(group_);
        installDir_ = install_.Path().string() + "\\";
        for (const char* help : {"Vokar.chm", "VokarD.chm", "Sl_Zew.chm", "Sl_ZewD.chm"}) {
            WriteBytes(installDir_ + help, "ITSF");
        }
    }
    void TearDown() override { RemoveFolder(group_); }

    void Run() { CreateHelpShortcuts(profile_, installDir_, SystemRegistry(), SystemFileSystem(), SystemShell()); }

    void ExpectLink(const std::string& shortcut, const std::string& helpFile) {
        const auto link = ReadLink(group_ + "\\" + shortcut);
        ASSERT_TRUE(link) << shortcut;
        EXPECT_EQ(Lower(link->Target), Lower(installDir_ + helpFile)) << shortcut;
        EXPECT_EQ(Lower(link->WorkingDirectory), Lower(installDir_)) << shortcut;
    }

    ComApartment apartment_;
    ProductProfile profile_;
    testing::TempDir install_;
    std::string programs_;
    std::string group_;
    std::string installDir_;
};

TEST_F(HelpShortcutsOnTheSystemTest, ReplacesTheOlderShortcutsInAnExistingGroup) {
    ASSERT_TRUE(::CreateDirectoryA(group_.c_str(), nullptr));
    WriteBytes(group_ + "\\Hilfedatei des Übersetzungsprogramms.lnk", "old");
    WriteBytes(group_ + "\\Hilfedatei des Wörterbuchs.lnk", "old");
    WriteBytes(group_ + "\\Vokarion.lnk", "not ours");

    Run();

    std::set<std::string> expected = kNewShortcuts;
    expected.insert("Vokarion.lnk");
    EXPECT_EQ(FileNames(group_), expected);
    ExpectLink("Hilfedatei des Übersetzungsprogramms (Polnisch).lnk", "Vokar.chm");
    ExpectLink("Hilfedatei des Übersetzungsprogramms (Deutsch).lnk", "VokarD.chm");
    ExpectLink("Hilfedatei des Wörterbuchs (Polnisch).lnk", "Sl_Zew.chm");
    ExpectLink("Hilfedatei des Wörterbuchs (Deutsch).lnk", "Sl_ZewD.chm");
}

TEST_F(HelpShortcutsOnTheSystemTest, RunningAgainOverwritesTheShortcutsInPlace) {
    ASSERT_TRUE(::CreateDirectoryA(group_.c_str(), nullptr));
    Run();
    ASSERT_EQ(FileNames(group_), kNewShortcuts);
    // A damaged shortcut is written afresh by the next run.
    WriteBytes(group_ + "\\Hilfedatei des Wörterbuchs (Deutsch).lnk", "damaged");
    ASSERT_FALSE(ReadLink(group_ + "\\Hilfedatei des Wörterbuchs (Deutsch).lnk"));

    Run();

    EXPECT_EQ(FileNames(group_), kNewShortcuts);
    ExpectLink("Hilfedatei des Wörterbuchs (Deutsch).lnk", "Sl_ZewD.chm");
    ExpectLink("Hilfedatei des Übersetzungsprogramms (Polnisch).lnk", "Vokar.chm");
}

TEST_F(HelpShortcutsOnTheSystemTest, AMissingGroupFolderIsNeverCreated) {
    Run();
    EXPECT_FALSE(SystemFileSystem().DirectoryExists(group_));
    EXPECT_TRUE(FileNames(programs_).count("Hilfedatei des Wörterbuchs (Deutsch).lnk") == 0);
}

TEST_F(HelpShortcutsOnTheSystemTest, OnlyTopicsWithBothHelpFilesAreLinked) {
    ASSERT_TRUE(::CreateDirectoryA(group_.c_str(), nullptr));
    WriteBytes(group_ + "\\Hilfedatei des Übersetzungsprogramms.lnk", "old");
    ASSERT_TRUE(::DeleteFileA((installDir_ + "VokarD.chm").c_str()));

    Run();

    EXPECT_EQ(FileNames(group_), (std::set<std::string>{"Hilfedatei des Übersetzungsprogramms.lnk",
                                                        "Hilfedatei des Wörterbuchs (Polnisch).lnk",
                                                        "Hilfedatei des Wörterbuchs (Deutsch).lnk"}));
}

TEST_F(HelpShortcutsOnTheSystemTest, CreateShellLinkReportsWhetherTheLinkWasWritten) {
    ASSERT_TRUE(::CreateDirectoryA(group_.c_str(), nullptr));
    const std::string target = installDir_ + "Vokar.chm";
    EXPECT_TRUE(CreateShellLink(target, group_ + "\\Vokar.lnk", SystemShell()));
    ExpectLink("Vokar.lnk", "Vokar.chm");
    EXPECT_FALSE(CreateShellLink(target, group_ + "\\Absent folder\\Vokar.lnk", SystemShell()));
    EXPECT_FALSE(SystemFileSystem().DirectoryExists(group_ + "\\Absent folder"));
}

}  // namespace
}  // namespace patcher

// patcher-record: writes a product's installation record into the registry exactly as the product's installer
// does (the value "Katalog" under a scrambled name with scrambled data, through RegSetValueExA, in the 32-bit
// view where the family's 32-bit installers write), so that a patcher finds that installation as it would on a
// user's machine. patchkit trial runs it under Wine to install the product for each case; the tests under Wine
// set up real installations with it. It ships beside patchkit as patcher-record-i686.exe and
// patcher-record-x86_64.exe.
//
//   patcher-record [--hive=hkcu|hklm] [--plain] [--hex] PRODUCT DIR   the record, scrambled
//   patcher-record [--hive=hkcu|hklm] [--plain] --empty PRODUCT       an empty string value
//   patcher-record [--hive=hkcu|hklm] [--plain] --dword PRODUCT       a REG_DWORD value instead of a string
//   patcher-record [--hive=hkcu|hklm] --remove PRODUCT                deletes the product's key in that hive
//   patcher-record [--hex] --fixed DIR                                the record under the fixed key (below)
//   patcher-record --fixed --remove                                   deletes the fixed key
//
//   patcher-record --code-page=N                                      only checks the system's code page
//
// PRODUCT is the product index (1..10): the row of the key table (SOFTWARE\Qordex\...) and the scrambler's
// method; the hive is the current user's unless --hive=hklm. --plain names the value "Katalog" instead of its
// scrambled form; the data stays scrambled. --fixed writes the record of the product kinds that keep it under
// the family's fixed key of the local machine (Software\Vokarion\DeuVokarion), "Katalog" in plain text. --hex
// takes DIR as the hex digits of its Windows-1250 bytes, which no code page of a command line changes on the
// way. --code-page=N refuses to do anything (exit code 3) unless the system's ANSI code page is N, through which
// the A functions write: the installer's own is 1250. Exit code 0 on success, 1 when the registry refuses, 2
// for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/UniqueHandle.h"
#include "profile/ProductProfile.h"
#include "shell/InstallDirLookup.h"
#include "shell/untKod.h"

namespace {

using patcher::ByteString;
using patcher::Kod;
using patcher::win32::UniqueRegistryKey;

// The 32-bit view, where the product family's 32-bit installers write, also from a 64-bit build.
#ifdef _WIN64
constexpr REGSAM kView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kView = 0;
#endif

constexpr std::int32_t kRecordKeyNo = 5;

enum class Action { Write, WriteEmpty, WriteDword, Remove, CheckCodePage };

struct Options {
    HKEY Hive = HKEY_CURRENT_USER;
    bool Plain = false;
    bool Hex = false;
    bool Fixed = false;
    unsigned CodePage = 0;  // 0: any
    Action What = Action::Write;
    int Product = 0;
    ByteString Directory;
};

// The bytes that hex digits stand for; false for anything else.
bool FromHex(const std::string& hex, ByteString& bytes) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = hex.substr(i, 2);
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0') {
            return false;
        }
        bytes += static_cast<char>(value);
    }
    return true;
}

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "patcher-record: %s\n"
                 "usage: patcher-record [--hive=hkcu|hklm] [--plain] [--hex] [--empty|--dword|--remove] PRODUCT [DIR]\n"
                 "       patcher-record [--hex] --fixed DIR | --fixed --remove\n",
                 problem);
    return 2;
}

bool Parse(int argc, char** argv, Options& options, const char*& problem) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--hive=hkcu") {
            options.Hive = HKEY_CURRENT_USER;
        } else if (argument == "--hive=hklm") {
            options.Hive = HKEY_LOCAL_MACHINE;
        } else if (argument == "--plain") {
            options.Plain = true;
        } else if (argument == "--empty") {
            options.What = Action::WriteEmpty;
        } else if (argument == "--dword") {
            options.What = Action::WriteDword;
        } else if (argument == "--remove") {
            options.What = Action::Remove;
        } else if (argument == "--fixed") {
            options.Fixed = true;
        } else if (argument == "--hex") {
            options.Hex = true;
        } else if (argument.rfind("--code-page=", 0) == 0) {
            options.CodePage = static_cast<unsigned>(std::strtoul(argument.c_str() + 12, nullptr, 10));
        } else if (argument.rfind("--", 0) == 0) {
            problem = "unknown option";
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.empty() && options.CodePage != 0 && options.What == Action::Write) {
        options.What = Action::CheckCodePage;
        return true;
    }
    if (options.Fixed) {
        // The fixed key is the local machine's, and holds the folder as it is.
        if ((options.What != Action::Write && options.What != Action::Remove) || options.Plain) {
            problem = "--fixed writes a plain folder or removes the fixed key";
            return false;
        }
        options.Hive = HKEY_LOCAL_MACHINE;
        if (positional.size() != (options.What == Action::Write ? 1U : 0U)) {
            problem = "--fixed takes a directory to write, none to remove";
            return false;
        }
    } else {
        if (positional.size() != (options.What == Action::Write ? 2U : 1U)) {
            problem = options.What == Action::Write ? "takes a product index and a directory" : "takes a product index";
            return false;
        }
        char* end = nullptr;
        const long product = std::strtol(positional[0].c_str(), &end, 10);
        if (*end != '\0' || product < 1 || product > 10) {
            problem = "the product index must be a number from 1 to 10";
            return false;
        }
        options.Product = static_cast<int>(product);
    }
    if (options.What == Action::Write) {
        if (!options.Hex) {
            options.Directory = positional.back();
        } else if (!FromHex(positional.back(), options.Directory)) {
            problem = "--hex takes the directory as hex digits";
            return false;
        }
    }
    return true;
}

int Fail(const char* operation, LONG status) {
    std::fprintf(stderr, "patcher-record: %s failed (system error %ld)\n", operation, status);
    return 1;
}

int Run(const Options& options) {
    if (options.CodePage != 0 && ::GetACP() != options.CodePage) {
        std::fprintf(stderr, "patcher-record: the system's code page is %u, not %u\n", ::GetACP(), options.CodePage);
        return 3;
    }
    if (options.What == Action::CheckCodePage) {
        return 0;
    }
    const ByteString keyPath(options.Fixed ? patcher::kFixedRecordKey : patcher::ProductKeyTable(options.Product));
    if (options.What == Action::Remove) {
        const LONG status = ::RegDeleteKeyExA(options.Hive, keyPath.c_str(), kView, 0);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : Fail("RegDeleteKeyExA", status);
    }

    UniqueRegistryKey key;
    LONG status = ::RegCreateKeyExA(options.Hive, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_SET_VALUE | kView, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return Fail("RegCreateKeyExA", status);
    }
    const ByteString name = options.Plain || options.Fixed
                                ? ByteString(patcher::kRecordValueName)
                                : Kod.Encode(patcher::kRecordValueName, options.Product, kRecordKeyNo);
    if (options.What == Action::WriteDword) {
        const DWORD one = 1;
        status =
            ::RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    } else {
        const ByteString data = options.What == Action::WriteEmpty ? ByteString()
                                : options.Fixed                    ? options.Directory
                                                : Kod.Encode(options.Directory, options.Product, kRecordKeyNo);
        // As for every string value, the size counts the terminating zero.
        status = ::RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                  static_cast<DWORD>(data.size() + 1));
    }
    return status == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", status);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const char* problem = nullptr;
    if (!Parse(argc, argv, options, problem)) {
        return Usage(problem);
    }
    return Run(options);
}

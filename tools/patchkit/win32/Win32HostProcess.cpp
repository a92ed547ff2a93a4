#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <stdexcept>

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"
#include "tools/patchkit/HostProcess.h"
#include "tools/patchkit/win32/ConsoleText.h"

namespace patcher::patchkit {
namespace {

// The array that CommandLineToArgvW allocates.
using UniqueArgumentArray = patcher::win32::UniqueHandle<LPWSTR*, ::LocalFree>;

}  // namespace

class HostProcess::Consoles {
  public:
    win32::ConsoleText Output{1, stdout};
    win32::ConsoleText Errors{2, stderr};
};

HostProcess::HostProcess(int argc, char** argv) : consoles_(std::make_unique<Consoles>()) {
    // argv holds the arguments in the ANSI code page, where a letter that it lacks is lost: the wide command
    // line has them all.
    int count = 0;
    const UniqueArgumentArray wide(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!wide) {
        arguments_.assign(argv, argv + argc);
        return;
    }
    for (int i = 0; i < count; ++i) {
        arguments_.push_back(patcher::win32::Utf8FromWide(wide.Get()[i]));
    }
}

HostProcess::~HostProcess() = default;

std::filesystem::path OwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    while (path.size() <= 32768) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            break;
        }
        if (length < path.size()) {
            path.resize(length);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
    throw std::runtime_error("patchkit cannot tell where it lies, and so where its stubs are: give --stub");
}

}  // namespace patcher::patchkit

#include "platform/win32/DllSearch.h"

#include <windows.h>

#include "platform/win32/SystemFunction.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace patcher::win32 {

// Systems without SetDefaultDllDirectories (before Windows 7 with KB2533623) at least leave the current
// folder out.
void RestrictDllSearchToSystem32() noexcept {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        SystemFunction<SetDefaultDllDirectoriesFunction>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDefaultDllDirectories == nullptr || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        ::SetDllDirectoryA("");
    }
}

}  // namespace patcher::win32

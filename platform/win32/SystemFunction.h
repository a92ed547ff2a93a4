#pragma once

#include <windows.h>

namespace patcher::win32 {

// A function of an already loaded system module, looked up at run time because older systems lack it; null
// when the module or the function is missing. Function is the function's pointer type.
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) noexcept {
    const HMODULE loaded = ::GetModuleHandleW(module);
    if (loaded == nullptr) {
        return nullptr;
    }
    // Through the generic function pointer type, which converts to and from any other without a warning.
    using Generic = void (*)();
    return reinterpret_cast<Function>(reinterpret_cast<Generic>(::GetProcAddress(loaded, name)));
}

}  // namespace patcher::win32

#pragma once

#include <objbase.h>

#include "platform/win32/UniqueHandle.h"

namespace patcher::win32 {

template <typename Interface>
void ReleaseInterface(Interface* pointer) noexcept {
    pointer->Release();
}

// A COM interface pointer owned like any other handle: released exactly once, move-only.
template <typename Interface>
using ComPtr = UniqueHandle<Interface*, ReleaseInterface<Interface>>;

// For the void** "out" parameter of CoCreateInstance and QueryInterface.
template <typename Interface>
void** PutVoid(ComPtr<Interface>& pointer) noexcept {
    return reinterpret_cast<void**>(pointer.Put());
}

}  // namespace patcher::win32

#pragma once

#include <objbase.h>

#include "platform/win32/UniqueHandle.h"

namespace patcher::win32 {

// A COM interface pointer owned like any other handle: released exactly once, move-only.
template <typename Interface>
struct ComInterfaceTraits {
    using Handle = Interface*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { h->Release(); }
};
template <typename Interface>
using ComPtr = UniqueHandle<ComInterfaceTraits<Interface>>;

// For the void** "out" parameter of CoCreateInstance and QueryInterface.
template <typename Interface>
void** PutVoid(ComPtr<Interface>& pointer) noexcept {
    return reinterpret_cast<void**>(pointer.Put());
}

}  // namespace patcher::win32

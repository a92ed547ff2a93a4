#pragma once

#include <windows.h>

#include <utility>

namespace patcher::win32 {

// The value that means "no handle" for most kinds.
template <typename Handle>
constexpr Handle NoHandle() noexcept {
    return nullptr;
}

// CreateFile's: a file handle is INVALID_HANDLE_VALUE when empty.
inline HANDLE NoFileHandle() noexcept {
    return INVALID_HANDLE_VALUE;
}

// Owns one handle of type Handle, released exactly once by Close; Empty gives the value that means none.
// Move-only: a copy would release the handle twice.
template <typename Handle, auto Close, Handle (*Empty)() = NoHandle<Handle>>
class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Empty())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.handle_, Empty()));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Empty(); }
    Handle Release() noexcept { return std::exchange(handle_, Empty()); }
    void Reset(Handle handle = Empty()) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != Empty()) {
            Close(old);
        }
    }
    // For the "out" parameter of calls that hand over a new handle.
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }

  private:
    Handle handle_ = Empty();
};

// One line per kind of handle.
using UniqueFileHandle = UniqueHandle<HANDLE, ::CloseHandle, NoFileHandle>;
using UniqueResourceHandle = UniqueHandle<HGLOBAL, ::FreeResource>;  // a no-op today, but the call's pair
using UniqueRegistryKey = UniqueHandle<HKEY, ::RegCloseKey>;
using UniqueFont = UniqueHandle<HFONT, ::DeleteObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, ::DeleteObject>;
using UniqueMemoryDc = UniqueHandle<HDC, ::DeleteDC>;  // made by CreateCompatibleDC, not borrowed with GetDC
using UniqueWindow = UniqueHandle<HWND, ::DestroyWindow>;
using UniqueKernelHandle = UniqueHandle<HANDLE, ::CloseHandle>;  // processes, threads: null when empty

}  // namespace patcher::win32

#pragma once

#include <objbase.h>

namespace patcher::win32 {

// Initialises the component system on the calling thread as a single-threaded apartment for the object's
// life; the program's start-up holds one on its window thread, where shell links are written.
class ComApartment {
  public:
    ComApartment() noexcept : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        // Every successful initialisation, S_FALSE included, is balanced by one uninitialisation.
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // False when the thread already belongs to a multi-threaded apartment or the component system failed.
    bool Ready() const noexcept { return SUCCEEDED(result_); }
    HRESULT Result() const noexcept { return result_; }

  private:
    HRESULT result_;
};

}  // namespace patcher::win32

// A tiny Windows program that exits with the number its RCDATA resource "EXITCODE" holds (255 without one):
// the resource writer's tests write that resource into a copy of it and run the copy.
#include <windows.h>

#include <cstdint>
#include <cstring>

int main() {
    const HRSRC found = ::FindResourceW(nullptr, L"EXITCODE", MAKEINTRESOURCEW(10));
    if (found == nullptr || ::SizeofResource(nullptr, found) < sizeof(std::uint32_t)) {
        return 255;
    }
    std::uint32_t code = 0;
    std::memcpy(&code, ::LockResource(::LoadResource(nullptr, found)), sizeof code);
    return static_cast<int>(code);
}

#pragma once

namespace patcher::win32 {

// Every DLL that the program, or a system DLL on its behalf, loads by name comes from System32 from now on,
// never from the program's folder or the current one, where a planted DLL of the same name may lie.
void RestrictDllSearchToSystem32() noexcept;

}  // namespace patcher::win32

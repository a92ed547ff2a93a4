#pragma once

// The handles that only the tests hold: the programs they load as data.

#include <windows.h>

#include "platform/win32/UniqueHandle.h"

namespace patcher::win32 {

using UniqueModule = UniqueHandle<HMODULE, ::FreeLibrary>;  // loaded by LoadLibraryEx, not borrowed

}  // namespace patcher::win32

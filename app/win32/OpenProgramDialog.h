#pragma once

#include <windows.h>

#include <optional>

#include "app/untMainPatcher.h"

namespace patcher {

// The open-file dialog (dlgOtworz), modal over its owner: its filter and title decoded in `codePage` (that of
// the owner's texts), only an existing file accepted. Answers the chosen file's full name in the system's
// ANSI code page, which the program's file functions take; nothing when the user cancels, the dialog cannot
// open, or the name has a character that code page lacks (no file function could reach it).
std::optional<ByteString> ShowOpenProgramDialog(HWND owner, const OpenDialogSettings& settings, unsigned codePage);

}  // namespace patcher

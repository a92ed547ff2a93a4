#include "app/win32/OpenProgramDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <string>

#include "platform/PlatformError.h"
#include "platform/win32/WideText.h"

namespace patcher {

std::optional<ByteString> ShowOpenProgramDialog(HWND owner, const OpenDialogSettings& settings, unsigned codePage) {
    // "description|pattern|..." becomes "description\0pattern\0...\0\0".
    std::wstring filter = win32::WideFromBytes(settings.Filter, codePage);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(L'\0');  // c_str() adds the second
    const std::wstring title = win32::WideFromBytes(settings.Title, codePage);
    std::wstring file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();  // empty: the system's own title
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                   (settings.Resizable ? OFN_ENABLESIZING : 0);
    if (!::GetOpenFileNameW(&dialog)) {
        return std::nullopt;  // cancelled, or the dialog could not open
    }
    file.resize(file.find(L'\0'));
    try {
        return win32::BytesFromWide(file, CP_ACP);
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

}  // namespace patcher

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <string>

#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/Shell.h"
#include "platform/win32/ComPtr.h"

namespace patcher {
namespace {

using win32::ComPtr;
using win32::PutVoid;

void Check(HRESULT result, const char* operation) {
    if (FAILED(result)) {
        throw PlatformError(operation, static_cast<unsigned long>(result));
    }
}

// IPersistFile takes its file name in UTF-16; our paths are in the system's code page.
std::wstring ToWide(const ByteString& text) {
    if (text.empty()) {
        return {};
    }
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) {
        throw PlatformError("MultiByteToWideChar", ::GetLastError());
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length) != length) {
        throw PlatformError("MultiByteToWideChar", ::GetLastError());
    }
    return wide;
}

class Win32Shell final : public Shell {
  public:
    void RemoveFile(ByteStringView path) override {
        const ByteString terminated = Terminated(path, "path", ERROR_INVALID_NAME);
        if (!::DeleteFileA(terminated.c_str())) {
            throw PlatformError("DeleteFileA", ::GetLastError());
        }
    }

    void WriteShellLink(ByteStringView linkPath, ByteStringView target, ByteStringView workingDirectory) override {
        const ByteString targetText = Terminated(target, "link target", ERROR_INVALID_NAME);
        const ByteString directoryText = Terminated(workingDirectory, "working directory", ERROR_INVALID_NAME);
        const std::wstring linkFile = ToWide(Terminated(linkPath, "link path", ERROR_INVALID_NAME));

        // The identifiers through __uuidof, which the headers define where they are used: the uuid library
        // would bring every identifier of the system, some 40 KB, into the program.
        ComPtr<IUnknown> object;
        Check(::CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                 __uuidof(IUnknown), PutVoid(object)),
              "CoCreateInstance(ShellLink)");
        ComPtr<IShellLinkA> link;
        Check(object.Get()->QueryInterface(__uuidof(IShellLinkA), PutVoid(link)), "QueryInterface(IShellLinkA)");
        ComPtr<IPersistFile> file;
        Check(object.Get()->QueryInterface(__uuidof(IPersistFile), PutVoid(file)), "QueryInterface(IPersistFile)");

        // A link without its target or directory would be a broken entry in the user's Start menu: stop
        // before saving one.
        Check(link.Get()->SetPath(targetText.c_str()), "IShellLinkA::SetPath");
        Check(link.Get()->SetWorkingDirectory(directoryText.c_str()), "IShellLinkA::SetWorkingDirectory");
        // FALSE: the saved file does not become the object's current file; the object goes right after.
        Check(file.Get()->Save(linkFile.c_str(), FALSE), "IPersistFile::Save");
    }
};

}  // namespace

Shell& SystemShell() {
    static Win32Shell shell;
    return shell;
}

}  // namespace patcher

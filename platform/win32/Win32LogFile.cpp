#include "platform/win32/Win32LogFile.h"

#include <windows.h>

#include <limits>
#include <utility>

#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

class Win32LogFile final : public LogFile {
  public:
    explicit Win32LogFile(win32::UniqueFileHandle file) : file_(std::move(file)) {}

    void Append(std::string_view bytes) override {
        if (bytes.size() > std::numeric_limits<DWORD>::max()) {
            throw PlatformError("WriteFile of a line too long", ERROR_INVALID_PARAMETER);
        }
        // Opened for appending only: every write lands at the end, after whatever another program appended.
        DWORD written = 0;
        if (!::WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            throw PlatformError("WriteFile", ::GetLastError());
        }
    }

  private:
    win32::UniqueFileHandle file_;
};

}  // namespace

std::unique_ptr<LogFile> OpenLogFile(ByteStringView path) {
    if (path.empty()) {
        throw PlatformError("CreateFileA of a log without a name", ERROR_INVALID_NAME);
    }
    const ByteString terminated = Terminated(path, "a log's path", ERROR_INVALID_NAME);
    win32::UniqueFileHandle file(::CreateFileA(terminated.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throw PlatformError("CreateFileA of a log", ::GetLastError());
    }
    // A device, a pipe or a console may take a write that never returns: only a file on a disk is a log.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        throw PlatformError("a log that is not a file on a disk", ERROR_INVALID_NAME);
    }
    return std::make_unique<Win32LogFile>(std::move(file));
}

}  // namespace patcher

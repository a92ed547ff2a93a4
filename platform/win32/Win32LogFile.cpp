#include "platform/win32/Win32LogFile.h"

#include <windows.h>

#include <limits>
#include <string>
#include <utility>

#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

class Win32LogFile final : public LogFile {
  public:
    explicit Win32LogFile(win32::UniqueFileHandle file) : file_(std::move(file)) {}

    void AppendLine(std::string_view utf8Line) override {
        std::string line(utf8Line);
        line += "\r\n";
        if (line.size() > std::numeric_limits<DWORD>::max()) {
            throw PlatformError("WriteFile of a line too long", ERROR_INVALID_PARAMETER);
        }
        // Opened for appending only: every write lands at the end, after whatever another program appended.
        DWORD written = 0;
        if (!::WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            written != line.size()) {
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
    return std::make_unique<Win32LogFile>(std::move(file));
}

}  // namespace patcher

#include <windows.h>

#include <algorithm>
#include <vector>

#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/ReleaseFolder.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/patchkit/win32/WindowsPaths.h"

namespace patcher::patchkit {
namespace {

using win32::UniqueFileHandle;

// The release folder on Windows, held open while the build reads it so that it cannot be renamed or removed
// meanwhile. A file's path is put together beneath the folder's final path, ".." resolved by its text as
// Windows resolves it; the file opened is then asked for its own final path, which must lie beneath the
// folder's: whatever link, junction or mount point was on the way when the file was opened, it is the place
// reached that counts, and only what the opened handle reads is used.
class Win32ReleaseFolder final : public ReleaseFolder {
  public:
    explicit Win32ReleaseFolder(const std::filesystem::path& path)
        : folder_(::CreateFileW(win32::ExtendedPath(path).c_str(),
                                0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr)) {
        if (!folder_) {
            win32::ThrowReadError(::GetLastError());
        }
        BY_HANDLE_FILE_INFORMATION information{};
        if (!::GetFileInformationByHandle(folder_.Get(), &information)) {
            win32::ThrowReadError(::GetLastError());
        }
        if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            win32::ThrowReadError(ERROR_DIRECTORY);
        }
        final_ = win32::FinalPath(folder_.Get());
    }

    std::vector<std::uint8_t> Read(const std::string& path,
                                   std::uint64_t limit,
                                   const std::string& limitText) const override {
        const UniqueFileHandle file(::CreateFileW(Beneath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                                  nullptr));
        if (!file) {
            win32::ThrowReadError(::GetLastError());
        }
        const std::wstring reached = win32::FinalPath(file.Get());
        if (!IsWithin(reached, final_)) {
            throw ReadError("a link on the way leads outside the release folder, to " + Shown(win32::Written(reached)));
        }
        if (IsWithin(final_, reached)) {
            throw ReadError("it names the release folder, not a file");
        }
        return win32::ReadOpenHandle(file.Get(), limit, limitText);
    }

  private:
    // The names of a relative path, "/" and "\" alike separating them, put beneath the folder's final path.
    std::wstring Beneath(const std::string& path) const {
        const std::wstring relative = PathFromUtf8(path).native();
        std::vector<std::wstring> names;
        std::size_t start = 0;
        while (start <= relative.size()) {
            const std::size_t end = std::min(relative.find_first_of(L"/\\", start), relative.size());
            const std::wstring name = relative.substr(start, end - start);
            start = end + 1;
            if (name.empty() || name == L".") {
                continue;
            }
            if (name == L"..") {
                if (names.empty()) {
                    throw ReadError("it lies outside the release folder");
                }
                names.pop_back();
                continue;
            }
            if (name.find(L':') != std::wstring::npos) {
                throw ReadError("a name with a colon, which Windows reads as a drive or as a stream of a file");
            }
            names.push_back(name);
        }
        if (names.empty()) {
            throw ReadError("it names the release folder, not a file");
        }
        std::wstring beneath = final_;
        for (const std::wstring& name : names) {
            beneath = win32::Joined(beneath, name);
        }
        return beneath;
    }

    UniqueFileHandle folder_;
    std::wstring final_;
};

}  // namespace

std::unique_ptr<ReleaseFolder> OpenReleaseFolder(const std::filesystem::path& path) {
    return std::make_unique<Win32ReleaseFolder>(path);
}

}  // namespace patcher::patchkit

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>
// windows.h names the system's ReplaceFileW so; the one defined here is OutputFolder.h's.
#undef ReplaceFile

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/SystemErrors.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/Undo.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/patchkit/win32/WindowsPaths.h"

namespace patcher::patchkit {
namespace {

using win32::Joined;
using win32::UniqueFileHandle;

// A step that failed, in the system's words; the command's message names what the maintainer gave.
struct WriteFailure {
    std::string Reason;
};

[[noreturn]] void Fail(DWORD error) {
    throw WriteFailure{SystemErrorText(error)};
}

// A fresh scratch name, from the system's preferred random source.
std::string ScratchName() {
    std::array<std::uint8_t, 6> random{};
    const NTSTATUS status =
        ::BCryptGenRandom(nullptr, random.data(), static_cast<ULONG>(random.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) {
        throw WriteFailure{"no random source for a scratch name (status " + std::to_string(status) + ")"};
    }
    return ScratchNameFrom(random);
}

// Makes an entry under a fresh scratch name in `folder`, as `make` does with the entry's path, which fails
// where the name is taken (another name is tried then). Returns the name.
std::wstring MakeScratch(const std::wstring& folder, const std::function<bool(const std::wstring&)>& make) {
    for (int tries = 0; tries < 100; ++tries) {
        const std::wstring name = PathFromUtf8(ScratchName()).native();
        if (make(Joined(folder, name))) {
            return name;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            Fail(error);
        }
    }
    Fail(ERROR_FILE_EXISTS);
}

// Writes a whole file and onto the disk: a full disk shows here, at the latest when it is flushed.
void WriteWhole(UniqueFileHandle file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data(), chunk, &written, nullptr)) {
            Fail(::GetLastError());
        }
        if (written == 0) {
            Fail(ERROR_WRITE_FAULT);
        }
        bytes = bytes.subspan(written);
    }
    if (!::FlushFileBuffers(file.Get())) {
        Fail(::GetLastError());
    }
    // Closed here rather than by the owner, whose close cannot report a failure.
    if (!::CloseHandle(file.Release())) {
        Fail(::GetLastError());
    }
}

UniqueFileHandle CreateNewFile(const std::wstring& path) {
    return UniqueFileHandle(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void Move(const std::wstring& from, const std::wstring& to, DWORD flags) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), flags | MOVEFILE_WRITE_THROUGH)) {
        Fail(::GetLastError());
    }
}

// An entry that is to go, or to be replaced: a read-only one, or one that another program holds without
// letting it be deleted, or that this account may not delete, cannot. Found before anything is written.
void CheckCanGo(const std::wstring& path, DWORD attributes) {
    // A folder's read-only mark keeps nothing from going (Explorer reads it as "customised").
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw WriteFailure{"it is read-only, and a read-only file is never replaced"};
    }
    const UniqueFileHandle probe(
        ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!probe) {
        Fail(::GetLastError());
    }
}

// Writes a file beside `name` in the folder and moves it into its place, over an old file.
void PutFileAt(const std::wstring& folder, const std::wstring& name, std::span<const std::uint8_t> bytes) {
    const std::wstring target = Joined(folder, name);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            throw WriteFailure{"a symbolic link, which is never written through"};
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw WriteFailure{"a folder, and only a file is replaced"};
        }
        CheckCanGo(target, attributes);
    } else if (const DWORD error = ::GetLastError(); !win32::IsNotFound(error)) {
        Fail(error);
    }
    UniqueFileHandle file;
    const std::wstring scratch = MakeScratch(folder, [&](const std::wstring& candidate) {
        file = CreateNewFile(candidate);
        return static_cast<bool>(file);
    });
    const std::wstring scratchPath = Joined(folder, scratch);
    Undo undo([&] { ::DeleteFileW(scratchPath.c_str()); });
    WriteWhole(std::move(file), bytes);
    Move(scratchPath, target, MOVEFILE_REPLACE_EXISTING);
    undo.Keep();
}

// Makes a folder and the folders it lies in, where they are missing.
void MakeFolders(const std::wstring& folder) {
    if (::CreateDirectoryW(folder.c_str(), nullptr)) {
        return;
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        return;
    }
    const auto [parent, name] = win32::SplitLast(folder);
    if (error != ERROR_PATH_NOT_FOUND || name.empty()) {
        Fail(error);
    }
    MakeFolders(parent);
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && (error = ::GetLastError()) != ERROR_ALREADY_EXISTS) {
        Fail(error);
    }
}

// The real place of an output: a link there stays, and what it leads to is replaced.
std::wstring RealOutput(const std::filesystem::path& path) {
    try {
        return RealPath(path).native();
    } catch (const ReadError& error) {
        throw WriteFailure{error.what()};
    }
}

// A folder held open, so that it is not renamed or removed while files are put into it, with its final path.
struct HeldFolder {
    UniqueFileHandle Handle;
    std::wstring Path;
};

HeldFolder HoldFolder(const std::wstring& path) {
    UniqueFileHandle handle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        Fail(::GetLastError());
    }
    std::wstring final;
    try {
        final = win32::FinalPath(handle.Get());
    } catch (const ReadError& error) {
        throw WriteFailure{error.what()};
    }
    return {std::move(handle), std::move(final)};
}

}  // namespace

void ReplaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
    try {
        const auto [folder, name] = win32::SplitLast(RealOutput(target));
        const HeldFolder held = HoldFolder(folder);
        PutFileAt(held.Path, name, bytes);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write " + Quoted(Utf8Of(target)) + " (" + failure.Reason + ")");
    }
}

class OutputTree::Folder {
  public:
    explicit Folder(HeldFolder held) : Held(std::move(held)) {}
    HeldFolder Held;
};

OutputTree::OutputTree(OutputTree&&) noexcept = default;
OutputTree& OutputTree::operator=(OutputTree&&) noexcept = default;
OutputTree::~OutputTree() = default;

OutputTree::OutputTree(const std::filesystem::path& folder) : given_(folder) {
    const std::filesystem::path path = OutputFolderPath(folder);
    try {
        const std::wstring real = RealOutput(path);
        MakeFolders(real);
        folder_ = std::make_unique<Folder>(HoldFolder(real));
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot make the folder " + Quoted(Utf8Of(given_)) + " (" + failure.Reason + ")");
    }
}

void OutputTree::Put(const std::filesystem::path& relative, std::span<const std::uint8_t> bytes) const {
    std::filesystem::path shown = given_;
    try {
        // Every folder on the way is held until the file is in its place, and is the folder that its name
        // gives beneath the one before: a link or a junction there would give another final path.
        std::vector<HeldFolder> way;
        std::wstring at = folder_->Held.Path;
        for (const std::filesystem::path& part : relative.parent_path()) {
            shown /= part;
            const std::wstring next = Joined(at, part.native());
            if (!::CreateDirectoryW(next.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
                Fail(::GetLastError());
            }
            const DWORD attributes = ::GetFileAttributesW(next.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                throw WriteFailure{"a symbolic link, which is never followed"};
            }
            HeldFolder held = HoldFolder(next);
            if (!win32::SameNames(held.Path, next)) {
                throw WriteFailure{"a symbolic link, which is never followed"};
            }
            at = held.Path;
            way.push_back(std::move(held));
        }
        shown /= relative.filename();
        PutFileAt(at, relative.filename().native(), bytes);
    } catch (const WriteFailure& failure) {
        throw std::runtime_error("cannot write " + Quoted(Utf8Of(shown)) + " (" + failure.Reason + ")");
    }
}

std::filesystem::path OutputTree::Place() const {
    // The folder is held without FILE_SHARE_DELETE: nothing renames it while it is open.
    return folder_->Held.Path;
}

}  // namespace patcher::patchkit

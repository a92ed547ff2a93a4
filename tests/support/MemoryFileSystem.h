#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/PathText.h"
#include "platform/FileSystem.h"
#include "platform/FreshName.h"
#include "platform/PlatformError.h"

namespace patcher::testing {

// The system's number for access denied.
#ifdef _WIN32
inline constexpr unsigned long kAccessDenied = 5;
#else
inline constexpr unsigned long kAccessDenied = EACCES;
#endif

// An in-memory file system that counts what is done to it and fails on request.
class MemoryFileSystem final : public FileSystem {
  public:
    struct Counters {
        int Opens = 0;
        int OpenHandles = 0;  // handles not yet closed
        int Seeks = 0;
        int Reads = 0;
        int WriteOperations = 0;  // checks, creations, writes, flushes, closes, replacements and deletions
    };

    void AddFile(const std::string& path, std::vector<std::uint8_t> bytes) { files_[path] = std::move(bytes); }
    void RemoveFile(const std::string& path) { files_.erase(path); }
    void AddDirectory(const std::string& path) { directories_.insert(path); }
    std::vector<std::uint8_t>& Bytes(const std::string& path) { return files_.at(path); }

    // Failure injection: opening fails for these paths; reading fails once this many reads succeeded.
    void FailOpen(const std::string& path) { unopenable_.insert(path); }
    void FailReadAfter(int successfulReads) { failReadAfter_ = successfulReads; }
    void FailSize() { failSize_ = true; }
    // Looking the path up answers that the system cannot tell, with this error.
    void FailLookUp(const std::string& path, unsigned long error) { unknown_[path] = error; }

    // Write side: files that refuse writing, and the operation (counted from 1) that fails.
    void MakeReadOnly(const std::string& path) { readOnly_.insert(path); }
    void FailWriteOperation(int number) { failWriteOperation_ = number; }
    // A rule that denies replacing the file: its replacement is refused with access denied.
    void DenyReplacing(const std::string& path) { denied_.insert(path); }
    // Another program holds the files: the next `checks` checks, `replacements` replacements and `opens`
    // opens (for reading or for replacing; -1: all of them) throw FileInUseError and change nothing.
    void HoldFiles(int checks, int replacements, int opens = 0) {
        heldChecks_ = checks;
        heldReplacements_ = replacements;
        heldOpens_ = opens;
    }
    // Runs as the swap begins (a file opened for replacing, before it is held; a new file placed): another
    // program changing, making or deleting the target meanwhile.
    void BeforeSwapping(std::function<void(const std::string& path)> action) { beforeSwapping_ = std::move(action); }

    const Counters& Count() const { return counters_; }
    const std::map<std::string, std::vector<std::uint8_t>>& Files() const { return files_; }

    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        return std::make_unique<Reader<ReadableFile>>(*this, Open(path));
    }

    FilePresence LookUpFile(ByteStringView path) override {
        const std::string key(path);
        if (const auto unknown = unknown_.find(key); unknown != unknown_.end()) {
            return {Presence::Unknown, unknown->second};
        }
        if (files_.count(key) != 0) {
            return {Presence::File, 0};
        }
        return {directories_.count(key) != 0 ? Presence::Unknown : Presence::Absent, 2};
    }
    // A directory is named with or without a final separator, as on disk.
    bool DirectoryExists(ByteStringView path) override {
        if (!path.empty() && (path.back() == '\\' || path.back() == '/')) {
            path.remove_suffix(1);
        }
        return directories_.count(std::string(path)) != 0;
    }

    void CheckWritable(ByteStringView path) override {
        WriteOperation("check");
        ThrowWhileHeld(heldChecks_, "check");
        if (readOnly_.count(std::string(path)) != 0) {
            throw ReadOnlyFileError("open for writing", 5);
        }
    }

    std::unique_ptr<WritableFile> CreateFileBeside(ByteStringView neighbour, ByteString& path) override {
        WriteOperation("create");
        const ByteString directory = FolderOf(neighbour);
        if (!directory.empty() && directories_.count(directory) == 0) {
            throw PlatformError("create in a missing directory", 3);
        }
        // "~0000001", as long as the system's fresh names.
        const std::string number = std::to_string(++created_);
        std::string name(FreshNameLength(NameOf(neighbour).size()), '0');
        name.front() = '~';
        name.replace(name.size() - number.size(), number.size(), number);
        path = directory + "\\" + name;
        files_[path];
        return std::make_unique<NewFile>(*this, path);
    }

    std::unique_ptr<ReplaceableFile> OpenForReplacing(ByteStringView path) override {
        const std::string key(path);
        if (beforeSwapping_) {
            beforeSwapping_(key);
        }
        if (files_.count(key) == 0) {
            return nullptr;
        }
        return std::make_unique<HeldFile>(*this, Open(path), key);
    }

    bool PlaceNewFile(ByteStringView target, ByteStringView replacement) override {
        if (beforeSwapping_) {
            beforeSwapping_(std::string(target));
        }
        WriteOperation("place");
        ThrowWhileHeld(heldReplacements_, "place");
        if (files_.count(std::string(target)) != 0) {
            return false;
        }
        Move(replacement, target);
        return true;
    }

    bool Delete(ByteStringView path) noexcept override {
        try {
            WriteOperation("delete");
            return files_.erase(std::string(path)) != 0;
        } catch (const PlatformError&) {
            return false;
        }
    }

  private:
    static void ThrowWhileHeld(int& held, const char* what) {
        if (held != 0) {
            held -= held > 0 ? 1 : 0;
            throw FileInUseError(std::string(what) + " of a file held by another program", 32);
        }
    }

    void WriteOperation(const char* what) {
        if (++counters_.WriteOperations == failWriteOperation_) {
            throw PlatformError(std::string("injected failure of ") + what, 29);
        }
    }

    std::vector<std::uint8_t>& Open(ByteStringView path) {
        const std::string key(path);
        const auto found = files_.find(key);
        if (found == files_.end() || unopenable_.count(key) != 0) {
            throw PlatformError("open " + key, 2);
        }
        ThrowWhileHeld(heldOpens_, "open");
        ++counters_.Opens;
        return found->second;
    }

    void Move(ByteStringView from, ByteStringView to) {
        const auto source = files_.find(std::string(from));
        if (source == files_.end()) {
            throw PlatformError("rename of a missing file", 2);
        }
        files_[std::string(to)] = std::move(source->second);
        files_.erase(std::string(from));
    }

    // Writes go straight into the file's bytes; a failing write stores half of what it was given, as a
    // full disk would.
    class NewFile final : public WritableFile {
      public:
        NewFile(MemoryFileSystem& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
        void Write(std::span<const std::uint8_t> bytes) override {
            auto& stored = owner_.files_.at(path_);
            try {
                owner_.WriteOperation("write");
            } catch (const PlatformError&) {
                stored.insert(stored.end(), bytes.begin(),
                              bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
                throw;
            }
            stored.insert(stored.end(), bytes.begin(), bytes.end());
        }
        void Flush() override { owner_.WriteOperation("flush"); }
        void Close() override { owner_.WriteOperation("close"); }

      private:
        MemoryFileSystem& owner_;
        std::string path_;
    };

    template <typename Interface>
    class Reader : public Interface {
      public:
        Reader(MemoryFileSystem& owner, const std::vector<std::uint8_t>& bytes) : owner_(owner), bytes_(bytes) {
            ++owner_.counters_.OpenHandles;
        }
        ~Reader() override { --owner_.counters_.OpenHandles; }

        std::int64_t Size() override {
            if (owner_.failSize_) {
                throw PlatformError("size", 5);
            }
            return static_cast<std::int64_t>(bytes_.size());
        }
        void Seek(std::int64_t offset) override {
            ++owner_.counters_.Seeks;
            position_ = offset;
        }
        std::uint8_t ReadByte() override {
            if (owner_.failReadAfter_ >= 0 && owner_.counters_.Reads >= owner_.failReadAfter_) {
                throw PlatformError("read", 23);
            }
            if (position_ < 0 || position_ >= static_cast<std::int64_t>(bytes_.size())) {
                throw PlatformError("read past the end", 38);
            }
            ++owner_.counters_.Reads;
            return bytes_[static_cast<std::size_t>(position_++)];
        }

      protected:
        MemoryFileSystem& owner_;

      private:
        const std::vector<std::uint8_t>& bytes_;
        std::int64_t position_ = 0;
    };

    class HeldFile final : public Reader<ReplaceableFile> {
      public:
        HeldFile(MemoryFileSystem& owner, const std::vector<std::uint8_t>& bytes, std::string path)
            : Reader(owner, bytes), path_(std::move(path)) {}

        void ReplaceWith(ByteStringView replacement) override {
            owner_.WriteOperation("replace");
            ThrowWhileHeld(owner_.heldReplacements_, "replace");
            if (owner_.readOnly_.count(path_) != 0) {
                throw ReadOnlyFileError("replace", 5);
            }
            if (owner_.denied_.count(path_) != 0) {
                throw PlatformError("replace", kAccessDenied);
            }
            owner_.Move(replacement, path_);
        }

      private:
        std::string path_;
    };

    std::map<std::string, std::vector<std::uint8_t>> files_;
    std::set<std::string> directories_;
    std::set<std::string> unopenable_;
    std::set<std::string> readOnly_;
    std::set<std::string> denied_;
    std::map<std::string, unsigned long> unknown_;
    std::function<void(const std::string&)> beforeSwapping_;
    int failReadAfter_ = -1;
    int failWriteOperation_ = 0;
    int created_ = 0;
    int heldChecks_ = 0;
    int heldReplacements_ = 0;
    int heldOpens_ = 0;
    bool failSize_ = false;
    Counters counters_;
};

}  // namespace patcher::testing

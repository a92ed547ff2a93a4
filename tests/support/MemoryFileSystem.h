#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/FreshName.h"
#include "platform/PlatformError.h"

namespace patcher::testing {

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
    void AddDirectory(const std::string& path) { directories_.insert(path); }
    std::vector<std::uint8_t>& Bytes(const std::string& path) { return files_.at(path); }

    // Failure injection: opening fails for these paths; reading fails once this many reads succeeded.
    void FailOpen(const std::string& path) { unopenable_.insert(path); }
    void FailReadAfter(int successfulReads) { failReadAfter_ = successfulReads; }
    void FailSize() { failSize_ = true; }

    // Write side: files that refuse writing, and the operation (counted from 1) that fails.
    void MakeReadOnly(const std::string& path) { readOnly_.insert(path); }
    void FailWriteOperation(int number) { failWriteOperation_ = number; }
    // Replace moves an existing target to its path + "~old" and then throws ReplacementKeptError.
    void StrandReplacement() { strandReplacement_ = true; }
    // Another program holds the files: the next `checks` checks, `replacements` replacements and `opens`
    // opens for reading (-1: all of them) throw FileInUseError and change nothing.
    void HoldFiles(int checks, int replacements, int opens = 0) {
        heldChecks_ = checks;
        heldReplacements_ = replacements;
        heldOpens_ = opens;
    }

    const Counters& Count() const { return counters_; }
    const std::map<std::string, std::vector<std::uint8_t>>& Files() const { return files_; }

    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        const std::string key(path);
        const auto found = files_.find(key);
        if (found == files_.end() || unopenable_.count(key) != 0) {
            throw PlatformError("open " + key, 2);
        }
        ThrowWhileHeld(heldOpens_, "open");
        ++counters_.Opens;
        return std::make_unique<File>(*this, found->second);
    }

    bool FileExists(ByteStringView path) override { return files_.count(std::string(path)) != 0; }
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

    std::unique_ptr<WritableFile> CreateUniqueFile(ByteStringView directory,
                                                   std::size_t longestName,
                                                   ByteString& path) override {
        WriteOperation("create");
        if (!directory.empty() && directories_.count(std::string(directory)) == 0) {
            throw PlatformError("create in a missing directory", 3);
        }
        // "~0000001", as long as the system's fresh names.
        const std::string number = std::to_string(++created_);
        std::string name(FreshNameLength(longestName), '0');
        name.front() = '~';
        name.replace(name.size() - number.size(), number.size(), number);
        path = std::string(directory) + "\\" + name;
        files_[path];
        return std::make_unique<NewFile>(*this, path);
    }

    void Replace(ByteStringView target, ByteStringView replacement) override {
        WriteOperation("replace");
        ThrowWhileHeld(heldReplacements_, "replace");
        const auto from = files_.find(std::string(replacement));
        if (from == files_.end() || readOnly_.count(std::string(target)) != 0) {
            throw PlatformError("replace", 5);
        }
        if (strandReplacement_ && files_.count(std::string(target)) != 0) {
            // The system moved the target aside and then refused to put either file in its place.
            auto old = files_.extract(std::string(target));
            old.key() += "~old";
            files_.insert(std::move(old));
            throw ReplacementKeptError("replace", 1177);
        }
        files_[std::string(target)] = std::move(from->second);
        files_.erase(from);
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

    class File final : public ReadableFile {
      public:
        File(MemoryFileSystem& owner, const std::vector<std::uint8_t>& bytes) : owner_(owner), bytes_(bytes) {
            ++owner_.counters_.OpenHandles;
        }
        ~File() override { --owner_.counters_.OpenHandles; }

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

      private:
        MemoryFileSystem& owner_;
        const std::vector<std::uint8_t>& bytes_;
        std::int64_t position_ = 0;
    };

    std::map<std::string, std::vector<std::uint8_t>> files_;
    std::set<std::string> directories_;
    std::set<std::string> unopenable_;
    std::set<std::string> readOnly_;
    int failReadAfter_ = -1;
    int failWriteOperation_ = 0;
    int created_ = 0;
    int heldChecks_ = 0;
    int heldReplacements_ = 0;
    int heldOpens_ = 0;
    bool failSize_ = false;
    bool strandReplacement_ = false;
    Counters counters_;
};

}  // namespace patcher::testing

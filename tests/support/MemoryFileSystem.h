#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
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
    };

    void AddFile(const std::string& path, std::vector<std::uint8_t> bytes) { files_[path] = std::move(bytes); }
    void AddDirectory(const std::string& path) { directories_.insert(path); }
    std::vector<std::uint8_t>& Bytes(const std::string& path) { return files_.at(path); }

    // Failure injection: opening fails for these paths; reading fails once this many reads succeeded.
    void FailOpen(const std::string& path) { unopenable_.insert(path); }
    void FailReadAfter(int successfulReads) { failReadAfter_ = successfulReads; }
    void FailSize() { failSize_ = true; }

    const Counters& Count() const { return counters_; }

    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        const std::string key(path);
        const auto found = files_.find(key);
        if (found == files_.end() || unopenable_.count(key) != 0) {
            throw PlatformError("open " + key, 2);
        }
        ++counters_.Opens;
        return std::make_unique<File>(*this, found->second);
    }

    bool FileExists(ByteStringView path) override { return files_.count(std::string(path)) != 0; }
    bool DirectoryExists(ByteStringView path) override { return directories_.count(std::string(path)) != 0; }

  private:
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
    int failReadAfter_ = -1;
    bool failSize_ = false;
    Counters counters_;
};

}  // namespace patcher::testing

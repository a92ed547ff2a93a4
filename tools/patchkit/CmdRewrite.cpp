#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/PatchTablesFormat.h"
#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "platform/DirectoryResourceStore.h"
#include "platform/FileSystem.h"
#include "platform/PlatformError.h"
#include "tools/packer/Packer.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

// The packed resources of one file's row, read whole from the data folder before the rewrite starts. Each is
// opened without blocking and must be a regular file, so that a FIFO in the folder is refused rather than
// waited on forever; one that cannot be read is refused with its reason.
class RowResources final : public ResourceStore {
  public:
    RowResources(const std::filesystem::path& folder, int fileIndex) {
        const DirectoryResourceStore files(folder);
        for (const int slot : {1, 2}) {
            const ByteStringView name = ResourceName(fileIndex, slot);
            if (name.empty()) {
                continue;
            }
            const std::filesystem::path path = files.FileOf(name);
            try {
                bytes_[ByteString(name)] =
                    ReadRegularFile(path, packer::kMaxPackedBytes, "that any packed stream needs");
            } catch (const ReadError& error) {
                throw std::runtime_error("the packed data " + Quoted(path.string()) + " cannot be read (" +
                                         error.what() + ")");
            }
        }
    }

    std::unique_ptr<LoadedResource> Load(ByteStringView name) override {
        const auto found = bytes_.find(ByteString(name));
        if (found == bytes_.end()) {
            throw PlatformError("no packed resource " + ByteString(name), 1813);  // as FindResource says it
        }
        return std::make_unique<HeldBytes>(found->second);
    }

  private:
    // Bytes that the store keeps for as long as the rewrite runs.
    class HeldBytes final : public LoadedResource {
      public:
        explicit HeldBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
        std::span<const std::uint8_t> Bytes() const override { return bytes_; }

      private:
        std::span<const std::uint8_t> bytes_;
    };

    std::map<ByteString, std::vector<std::uint8_t>> bytes_;
};

}  // namespace

// Runs the patcher's own rewrite of a file on this host, with the tables and packed data of the build (made by
// `patchkit build`; PATCHER_PACKED_DIR names where the build keeps them).
int RunRewrite(const Arguments& arguments) {
    Arguments rest = arguments;
    std::string data = PATCHER_PACKED_DIR;
    if (rest.size() == 4 && rest[0] == "--data") {
        data = rest[1];
        rest.erase(rest.begin(), rest.begin() + 2);
    }
    if (rest.size() != 2) {
        throw UsageError{"takes a file index and a path"};
    }
    const int fileIndex = ParseFileIndex(rest[0]);
    RowResources resources(data, fileIndex);
    DirectoryResourceStore tables(data);
    InstallPatchTables(LoadPatchTables(tables));
    DecoderState decoder;
    // The file found there, whatever its build, is what is replaced.
    FileSystem& files = SystemFileSystem();
    FoundTarget found;
    if (files.LookUpFile(rest[1]).Is != Presence::Absent) {
        found = {.Exists = true, .Version = IdentifyFileVersion(fileIndex, rest[1], files).Version};
    }
    const bool rewritten = RewriteFile(fileIndex, rest[1], found, {files, resources, decoder}).Ok;
    std::printf("%s\n", rewritten ? "true" : "false");
    return 0;
}

}  // namespace patcher::patchkit

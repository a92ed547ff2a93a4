#include <exception>
#include <stdexcept>

#include "common/PathText.h"
#include "engine/ContentDigests.h"
#include "tables/Crc32.h"
#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "common/FileIndex.h"

namespace patcher {
namespace {

// The new file is written beside the target, so that replacing the target stays on one volume and is one
// step; if anything fails before that step, the new file goes again.
class TemporaryFile {
  public:
    explicit TemporaryFile(FileSystem& files) : files_(files) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            files_.Delete(path_);
        }
    }

    ByteString& Path() { return path_; }
    void Keep() { path_.clear(); }  // it has become the target, or must stand in for it

  private:
    FileSystem& files_;
    ByteString path_;
};

void CheckDigest(const ContentDigest* digest, std::size_t size, std::uint32_t crc) {
    if (digest == nullptr) {
        throw DamagedDataError("no digest is recorded for this file's new content");
    }
    if (static_cast<std::size_t>(digest->Size) != size || crc != digest->Crc32) {
        throw DamagedDataError("the unpacked content differs from what was packed");
    }
}

}  // namespace

const std::array<ByteStringView, 2 * kFileCount> ResourceNameTable = {
    "PVOKAREN1A",  "PVOKAREN1B", "VOKAREN1INT", "", "VOKARDE102",  "", "VOKARFRPL",   "",
    "VOKARPLFR",   "",           "SLZEWFRPL",   "", "SLZEWPLFR",   "", "PVOKARDE2A",  "PVOKARDE2B",
    "PVOKARDE2HT", "",           "PVOKARDE2HS", "", "PVOKARDE2DI", "", "PVOKARDE2IT", "",
};

ByteStringView ResourceName(int fileIndex, int slot) {
    if (fileIndex < 1 || fileIndex > kFileCount || slot < 1 || slot > 2) {
        return {};
    }
    return ResourceNameTable[static_cast<std::size_t>(2 * (fileIndex - 1) + (slot - 1))];
}

void UnpackResource(ByteStringView name,
                    ResourceStore& resources,
                    DecoderState& decoder,
                    std::vector<std::uint8_t>& content) {
    const auto resource = resources.Load(name);
    decoder.ReleaseBuffers();  // nothing of the previous resource carries over
    const std::span<const std::uint8_t> unpacked = Unpack(decoder, resource->Bytes());
    content.insert(content.end(), unpacked.begin(), unpacked.end());
}

RewriteResult RewriteFile(int fileIndex, ByteStringView path, const RewriteServices& services) {
    RewriteResult result;
    try {
        const ContentDigest* digest = NewContentDigest(fileIndex);
        std::vector<std::uint8_t> content;
        content.reserve(digest != nullptr ? static_cast<std::size_t>(digest->Size) : 0);
        std::uint32_t crc = kCrc32Start;
        for (const int slot : {1, 2}) {
            const ByteStringView name = ResourceName(fileIndex, slot);
            if (!name.empty()) {
                const std::size_t start = content.size();
                UnpackResource(name, services.Resources, services.Decoder, content);
                // Checked while the bytes just unpacked are still in the cache.
                crc = Crc32Update(crc, std::span(content).subspan(start));
            }
        }
        CheckDigest(digest, content.size(), Crc32Finish(crc));

        // A target that cannot be written (read-only, no access) is refused as it is, before anything is
        // written; one that another program holds is waited for.
        // A step that fails because another program holds a file for the moment (a scanner looking at the
        // new file, the product closing down) is tried again; every other failure ends the rewrite at once.
        RetryWhileInUse(services.Wait, result.Waited, [&] { services.Files.CheckWritable(path); });
        TemporaryFile temporary(services.Files);
        const auto file = services.Files.CreateUniqueFile(FolderOf(path), NameOf(path).size(), temporary.Path());
        file->Write(content);
        file->Flush();
        file->Close();
        try {
            // Each failed attempt has left both files as they were.
            RetryWhileInUse(services.Wait, result.Waited, [&] { services.Files.Replace(path, temporary.Path()); });
        } catch (const ReplacementKeptError&) {
            // The target's place stayed empty: the new file is the only copy of the new content left.
            temporary.Keep();
            throw;
        }
        temporary.Keep();
        result.Ok = true;
    } catch (...) {
        result.Failure = FailureOf(std::current_exception());
    }
    return result;
}

}  // namespace patcher

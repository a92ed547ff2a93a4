#include <exception>
#include <stdexcept>

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
    void Keep() { path_.clear(); }  // it has become the target

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

// The new content of fileIndex, unpacked from its row's resources and checked against its digest.
std::vector<std::uint8_t> NewContent(int fileIndex, const RewriteServices& services) {
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
    return content;
}

FoundTarget FoundIn(const Recognition& recognition) {
    return {true, recognition.Version};
}

// Puts the new file in the target's place, unless the target no longer holds what recognition found there:
// then answers what it holds. An existing target is held against writing from its second recognition until
// the swap is done, so that what was recognised is what is replaced.
std::optional<FoundTarget> SwapUnlessChanged(int fileIndex,
                                             ByteStringView path,
                                             const FoundTarget& found,
                                             ByteStringView replacement,
                                             FileSystem& files) {
    if (!found.Exists) {
        if (files.PlaceNewFile(path, replacement)) {
            return std::nullopt;
        }
        return FoundIn(IdentifyFileVersion(fileIndex, path, files));
    }
    const std::unique_ptr<ReplaceableFile> target = files.OpenForReplacing(path);
    if (target == nullptr) {
        return FoundTarget{};
    }
    const FoundTarget now = FoundIn(IdentifyOpenFileOrThrow(fileIndex, *target, InstalledPatchTables()));
    if (now != found) {
        return now;
    }
    target->ReplaceWith(replacement);
    return std::nullopt;
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

RewriteResult RewriteFile(int fileIndex,
                          ByteStringView path,
                          const FoundTarget& found,
                          const RewriteServices& services,
                          InUseWait& wait) {
    RewriteResult result;
    try {
        const std::vector<std::uint8_t> content = NewContent(fileIndex, services);
        // A target that cannot be written (read-only, no access) is refused as it is, before anything is
        // written; one that another program holds is waited for.
        // A step that fails because another program holds a file for the moment (a scanner looking at the
        // new file, the product closing down) is tried again; every other failure ends the rewrite at once.
        wait.Retry([&] { services.Files.CheckWritable(path); });
        TemporaryFile temporary(services.Files);
        const auto file = services.Files.CreateFileBeside(path, temporary.Path());
        file->Write(content);
        file->Flush();
        file->Close();
        // Each failed attempt has left both files as they were.
        wait.Retry(
            [&] { result.ChangedTo = SwapUnlessChanged(fileIndex, path, found, temporary.Path(), services.Files); });
        if (!result.ChangedTo) {
            temporary.Keep();
            result.Ok = true;
        }
    } catch (...) {
        result.Failure = FailureOf(std::current_exception());
    }
    return result;
}

RewriteResult RewriteFile(int fileIndex,
                          ByteStringView path,
                          const FoundTarget& found,
                          const RewriteServices& services) {
    InUseWait atOnce;
    return RewriteFile(fileIndex, path, found, services, atOnce);
}

}  // namespace patcher

// Reading the build's tables resource as the patcher does at start-up, and recognising each stand-in build of
// VokarEn.exe from disk: how many bytes it reads and how long it takes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/Bench.h"
#include "engine/untPatcher.h"
#include "platform/FileSystem.h"
#include "profile/ProductProfile.h"
#include "tables/PatchTablesFormat.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::bench {
namespace {

// Passes everything to the system's file layer and counts the single-byte reads.
class CountingFileSystem final : public FileSystem {
  public:
    long Reads = 0;

    std::unique_ptr<ReadableFile> OpenForReading(ByteStringView path) override {
        return std::make_unique<CountingFile>(SystemFileSystem().OpenForReading(path), Reads);
    }
    FilePresence LookUpFile(ByteStringView path) override { return SystemFileSystem().LookUpFile(path); }
    bool DirectoryExists(ByteStringView path) override { return SystemFileSystem().DirectoryExists(path); }
    void CheckWritable(ByteStringView path) override { SystemFileSystem().CheckWritable(path); }
    std::unique_ptr<WritableFile> CreateFileBeside(ByteStringView neighbour, ByteString& path) override {
        return SystemFileSystem().CreateFileBeside(neighbour, path);
    }
    std::unique_ptr<ReplaceableFile> OpenForReplacing(ByteStringView path) override {
        return SystemFileSystem().OpenForReplacing(path);
    }
    bool PlaceNewFile(ByteStringView target, ByteStringView replacement) override {
        return SystemFileSystem().PlaceNewFile(target, replacement);
    }
    bool Delete(ByteStringView path) noexcept override { return SystemFileSystem().Delete(path); }

  private:
    class CountingFile final : public ReadableFile {
      public:
        CountingFile(std::unique_ptr<ReadableFile> inner, long& reads) : inner_(std::move(inner)), reads_(reads) {}
        std::int64_t Size() override { return inner_->Size(); }
        void Seek(std::int64_t offset) override { inner_->Seek(offset); }
        std::uint8_t ReadByte() override {
            ++reads_;
            return inner_->ReadByte();
        }

      private:
        std::unique_ptr<ReadableFile> inner_;
        long& reads_;
    };
};

}  // namespace

void BenchRecognition() {
    const auto resource = BuildPatcher().Load(kPatchTablesResource);
    std::size_t builds = 0;
    const double reading = BestSeconds(200, [&] {
        const PatchTables tables = ReadPatchTables(resource->Bytes());
        builds = 0;
        for (int file = 1; file <= kFileCount; ++file) {
            builds += tables.Versions(file).size();
        }
    });
    std::printf("tables: %zu bytes, %zu builds, read and checked in %.1f us\n", resource->Bytes().size(), builds,
                reading * 1e6);

    const auto dir = std::filesystem::temp_directory_path() / "patcher-bench-recognition";
    std::filesystem::create_directories(dir);
    standin::StandinBuilds standins;
    std::printf("%-8s %10s %-14s %6s %12s\n", "version", "bytes", "result", "reads", "time (us)");
    for (const int version : standin::KnownVersions(1)) {
        const auto& bytes = standins.Get(1, version);
        const auto path = (dir / ("VokarEn-" + std::to_string(version) + ".exe")).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        CountingFileSystem files;
        Recognition found;
        IdentifyFileVersion(1, path, files);  // warm the cache: we time recognition, not the disk
        files.Reads = 0;
        const double seconds = BestSeconds(20, [&] { found = IdentifyFileVersion(1, path, files); });
        std::printf("%-8d %10zu %-14s %6ld %12.1f\n", version, bytes.size(), CheckResultName(found.Result),
                    files.Reads / 20, seconds * 1e6);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace patcher::bench

// A whole update of VokarEn.exe as the patcher runs it when Update is pressed (registry lookup, recognition,
// rewrite, through the main window's form without a window on screen), next to the rewrite alone.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "app/ProductSystem.h"
#include "app/untMainPatcher.h"
#include "bench/Bench.h"
#include "engine/UDer.h"
#include "engine/untPatcher.h"
#include "lang/MessageIds.h"
#include "platform/FileSystem.h"
#include "shell/untKod.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::bench {
namespace {

constexpr std::int32_t kRecordKeyNo = 5;

// The current user's hive holding this build's product record, as the product's installer writes it.
class RecordRegistry final : public Registry {
  public:
    RecordRegistry(const ProductProfile& profile, ByteStringView directory)
        : key_(ProductKeyTable(profile.ProductIndex)),
          name_(Kod.Encode("Katalog", profile.ProductIndex, kRecordKeyNo)),
          data_(Kod.Encode(directory, profile.ProductIndex, kRecordKeyNo) + '\0') {}

    using Registry::OpenKey;

    std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, ByteStringView path, RegistryText) override {
        if (hive != RegistryHive::CurrentUser || path != key_) {
            return nullptr;
        }
        return std::make_unique<Key>(*this);
    }

  private:
    class Key final : public RegistryKey {
      public:
        explicit Key(const RecordRegistry& registry) : registry_(registry) {}
        bool ValueExists(ByteStringView name) override { return name == registry_.name_; }
        std::optional<RegistryValue> QueryValue(ByteStringView name) override {
            if (name != registry_.name_) {
                return std::nullopt;
            }
            return RegistryValue{kRegistryString, registry_.data_};
        }

      private:
        const RecordRegistry& registry_;
    };

    ByteString key_;
    ByteString name_;
    ByteString data_;
};

// Kind 1 places no shortcuts: nothing reaches the shell.
class NoShell final : public Shell {
  public:
    void RemoveFile(ByteStringView) override {}
    void WriteShellLink(ByteStringView, ByteStringView, ByteStringView) override {}
};

void WriteWhole(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void BenchUpdate() {
    const auto dir = std::filesystem::temp_directory_path() / "patcher-bench-update";
    std::filesystem::create_directories(dir);
    const std::filesystem::path target = dir / "VokarEn.exe";
    standin::StandinBuilds builds;
    const std::vector<std::uint8_t>& installed = builds.Get(1, 7);

    ProductProfile profile;
    SetProductIdentity(profile);
    CompleteProfile(profile);
    // Recorded with its final delimiter, so the run adds none to this host's path.
    RecordRegistry registry(profile, dir.string() + "/");
    NoShell shell;
    ResourceStore& resources = BuildPatcher();
    DecoderState decoder;
    ProductSystem system(profile, {SystemFileSystem(), registry, shell, resources, decoder});
    TfrmMainPatcher form(profile, system, [] { return kPolish; });
    form.Show();

    constexpr int kRuns = 15;
    double bestUpdate = 1e300;
    double bestRewrite = 1e300;
    bool updated = true;
    for (int i = 0; i < kRuns; ++i) {
        WriteWhole(target, installed);
        bestUpdate = std::min(bestUpdate, BestSeconds(1, [&] { form.btnUpdateClick(); }));
        updated = updated && form.State().Summary == kSummaryUpdated;

        WriteWhole(target, installed);
        bestRewrite = std::min(bestRewrite, BestSeconds(1, [&] {
                                   updated = RewriteFile(1, target.string(), {.Exists = true, .Version = 7},
                                                         {SystemFileSystem(), resources, decoder})
                                                 .Ok &&
                                             updated;
                               }));
    }
    std::printf("whole update of VokarEn.exe 7 -> 11 (%s):    %8.2f ms (best of %d)\n", updated ? "ok" : "FAILED",
                bestUpdate * 1e3, kRuns);
    std::printf("its rewrite alone:                          %8.2f ms\n", bestRewrite * 1e3);
    std::printf("lookup, recognition and the window's texts: %8.2f ms\n", (bestUpdate - bestRewrite) * 1e3);
    std::filesystem::remove_all(dir);
}

}  // namespace patcher::bench

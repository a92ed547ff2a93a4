#pragma once

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "app/UpdateRun.h"
#include "engine/UDer.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ResourceStore.h"
#include "platform/Shell.h"
#include "profile/ProductProfile.h"

namespace patcher {

// What the command line may set of the product's system.
struct ProductSettings {
    std::optional<ByteString> InstallDir;                       // the directory, whatever the registry records (/DIR=)
    std::chrono::milliseconds LongestWait = kDefaultInUseWait;  // for a file another program holds (/WAIT=)
};

// The update run's system: the registry record, the product's files, the packed data and the Start menu,
// reached through the platform's interfaces and the patch engine.
class ProductSystem final : public UpdateRunSystem {
  public:
    struct Services {
        FileSystem& Files;
        Registry& Records;  // the registry
        Shell& StartMenu;   // the shell, for Start-menu links
        ResourceStore& Resources;
        DecoderState& Decoder;  // the program's one decoder, kept for its whole life
    };

    using Settings = ProductSettings;

    ProductSystem(const ProductProfile& profile, const Services& services, Settings settings = {})
        : profile_(profile), services_(services), settings_(std::move(settings)) {}

    FoundFolder FindInstallDir() override;
    bool DirectoryExists(ByteStringView path) override;
    bool FileExists(ByteStringView path) override;
    Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, LockWait& wait) override;
    RewriteResult RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) override;
    std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) override;

  private:
    InUseWait WaitWith(LockWait& pauses) const { return {&pauses, settings_.LongestWait}; }

    const ProductProfile& profile_;
    Services services_;
    Settings settings_;
};

}  // namespace patcher

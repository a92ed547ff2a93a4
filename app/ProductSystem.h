#pragma once

#include <optional>
#include <utility>

#include "app/UpdateRun.h"
#include "engine/UDer.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/ResourceStore.h"
#include "platform/Shell.h"
#include "profile/ProductProfile.h"

namespace patcher {

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

    // With `installDir`, the directory is that one, whatever the registry records (the /DIR= of the command
    // line).
    ProductSystem(const ProductProfile& profile,
                  const Services& services,
                  std::optional<ByteString> installDir = std::nullopt)
        : profile_(profile), services_(services), installDir_(std::move(installDir)) {}

    ByteString FindInstallDir() override;
    bool DirectoryExists(ByteStringView path) override;
    bool FileExists(ByteStringView path) override;
    CheckResult RecogniseFileVersion(int fileIndex, ByteStringView path) override;
    bool RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) override;
    void CreateHelpShortcuts(ByteStringView installDir) override;

  private:
    const ProductProfile& profile_;
    Services services_;
    std::optional<ByteString> installDir_;
};

}  // namespace patcher

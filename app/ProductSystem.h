#pragma once

#include <chrono>
#include <vector>

#include "app/UpdateRunSystem.h"
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

    // `longestWait`: how long a file that another program holds is tried again (/WAIT=).
    ProductSystem(const ProductProfile& profile,
                  const Services& services,
                  std::chrono::milliseconds longestWait = kDefaultInUseWait)
        : profile_(profile), services_(services), longestWait_(longestWait) {}

    ProductFolder FindInstallDir() override;
    bool DirectoryExists(ByteStringView path) override;
    bool FileExists(ByteStringView path) override;
    Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, LockWait& wait) override;
    RewriteResult RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) override;
    std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) override;

  private:
    InUseWait WaitWith(LockWait& pauses) const { return {&pauses, longestWait_}; }

    const ProductProfile& profile_;
    Services services_;
    std::chrono::milliseconds longestWait_;
};

}  // namespace patcher

#pragma once

#include <chrono>
#include <vector>

#include "app/UpdateRunSystem.h"
#include "engine/UDer.h"
#include "platform/FileSystem.h"
#include "platform/MonotonicClock.h"
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

    // `longestWait`: how long a file that another program holds is tried again (/WAIT=), on `clock`.
    ProductSystem(const ProductProfile& profile,
                  const Services& services,
                  std::chrono::milliseconds longestWait = kDefaultInUseWait,
                  MonotonicClock& clock = SteadyClock())
        : profile_(profile), services_(services), longestWait_(longestWait), clock_(clock) {}

    ProductFolder FindInstallDir() override;
    bool DirectoryExists(ByteStringView path) override;
    FilePresence LookUpFile(ByteStringView path) override;
    InUseWait FileWait(LockWait& pauses) override;
    Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, InUseWait& wait) override;
    RewriteResult RewriteFile(int fileIndex, ByteStringView path, const FoundTarget& found, InUseWait& wait) override;
    std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) override;

  private:
    const ProductProfile& profile_;
    Services services_;
    std::chrono::milliseconds longestWait_;
    MonotonicClock& clock_;
};

}  // namespace patcher

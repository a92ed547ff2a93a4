#pragma once

#include <vector>

#include "common/ByteString.h"
#include "engine/InUseWait.h"
#include "engine/untPatcher.h"
#include "shell/HelpShortcuts.h"
#include "shell/ProductFolder.h"

namespace patcher {

// What a run or a check needs of the system: the installed product and the patch engine.
class UpdateRunSystem {
  public:
    virtual ~UpdateRunSystem() = default;

    // The installation folder as the product's installer recorded it, with its record as the source; an empty
    // path when nothing is recorded. Never throws.
    virtual ProductFolder FindInstallDir() = 0;
    virtual bool DirectoryExists(ByteStringView path) = 0;
    virtual bool FileExists(ByteStringView path) = 0;
    // `wait` pauses between the attempts at a file that another program holds for a moment; how long the
    // system goes on trying is its own setting.
    virtual Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, LockWait& wait) = 0;
    virtual RewriteResult RewriteFile(int fileIndex, ByteStringView path, LockWait& wait) = 0;
    // Answers what failed, which changes nothing of the run's outcome.
    virtual std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) = 0;
};

}  // namespace patcher

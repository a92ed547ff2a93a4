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
    virtual FilePresence LookUpFile(ByteStringView path) = 0;
    // One selected file's patience with other programs that hold it (/WAIT=), for its recognition and its
    // rewrite together; `pauses` waits between the attempts.
    virtual InUseWait FileWait(LockWait& pauses) = 0;
    virtual Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, InUseWait& wait) = 0;
    // Rewrites the file in the place of what recognition found there, and only that.
    virtual RewriteResult RewriteFile(int fileIndex,
                                      ByteStringView path,
                                      const FoundTarget& found,
                                      InUseWait& wait) = 0;
    // Answers what failed, which changes nothing of the run's outcome.
    virtual std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) = 0;
};

}  // namespace patcher

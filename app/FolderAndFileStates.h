#pragma once

#include <functional>
#include <optional>

#include "app/FileReport.h"
#include "app/RunOptions.h"
#include "app/UpdateRunSystem.h"
#include "profile/ProductProfile.h"
#include "shell/ProductFolder.h"

namespace patcher {

// The folder that a run or a check uses: the one that /DIR= names, else the one the product's record names;
// where the product's kind asks for the program file and that folder cannot be used, the folder of the file
// chosen, if one is. Only an existing folder named by a full path, with room for a file's name in the
// system's paths, is used; a used folder ends in a path delimiter. `askForProgramFile` answers nothing when nobody
// can be asked.
ProductFolder LocateProductFolder(const ProductProfile& profile,
                                  UpdateRunSystem& system,
                                  const RunOptions& options,
                                  const std::function<std::optional<ByteString>()>& askForProgramFile);

// What one selected file in the folder needs: Current, NeedsUpdate, NeedsCreating (absent, and one whose
// newest version is its first), NotFound, UnknownBuild or Unreadable (also where the system cannot tell
// whether it is there). Nothing is written. `wait` is the file's patience with programs that hold it.
FileReport AssessFile(int fileIndex, ByteStringView path, UpdateRunSystem& system, InUseWait& wait);

}  // namespace patcher

#pragma once

#include <functional>
#include <optional>

#include "app/RunReport.h"
#include "app/UpdateRun.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The folder that a run or a check uses: the one the system finds (the record, or /DIR=), and where the
// product's kind asks for the program file, the folder of the file chosen, if one is. A used folder ends in
// a path delimiter. `askForProgramFile` answers nothing when nobody can be asked.
FolderReport LocateProductFolder(const ProductProfile& profile,
                                 UpdateRunSystem& system,
                                 const std::function<std::optional<ByteString>()>& askForProgramFile);

// What one selected file in the folder needs: Current, NeedsUpdate, NeedsCreating (absent, and one whose
// newest version is its first), NotFound, UnknownBuild or Unreadable. Nothing is written.
FileReport AssessFile(int fileIndex, ByteStringView path, UpdateRunSystem& system, LockWait& wait);

}  // namespace patcher

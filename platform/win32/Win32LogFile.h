#pragma once

#include <memory>

#include "common/ByteString.h"
#include "platform/LogFile.h"

namespace patcher {

// Opens the file at path (created when absent) to append lines to, while other programs may read it and
// append too. Throws PlatformError when it cannot be opened so, or when it is no file on a disk (a device
// such as COM1 or NUL, a pipe, a console).
std::unique_ptr<LogFile> OpenLogFile(ByteStringView path);

}  // namespace patcher

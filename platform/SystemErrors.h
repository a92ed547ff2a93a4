#pragma once

#include <string>

namespace patcher {

// What kind of failure a system error number (PlatformError::SystemCode) stands for, as far as a person
// deciding what to do about it cares.
enum class SystemFault {
    Other,
    NotFound,      // no such file or folder
    AccessDenied,  // the account may not do this
    InUse,         // another program holds the file for now
    DiskFull,      // no space left on the volume
};
SystemFault ClassifySystemError(unsigned long code) noexcept;

// The system's own one-line description of an error number, in UTF-8 (empty where it has none).
std::string SystemErrorText(unsigned long code);

}  // namespace patcher

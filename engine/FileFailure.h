#pragma once

#include <chrono>
#include <exception>
#include <stdexcept>

namespace patcher {

// Why an operation on a product file did not succeed, in the terms of what a person can do about it.
enum class FileFault {
    None,
    ReadOnly,      // the file is marked read-only
    InUse,         // another program held it for as long as the patcher waited
    AccessDenied,  // the account may not read or write it
    DiskFull,      // no space left on the volume for the new content
    NotFound,      // the file or its folder is not there (any more)
    DamagedData,   // the patcher's own packed data did not unpack to the content recorded for it
    OutOfMemory,
    SystemError,  // any other failure of a system call; see SystemCode
    Unexpected,   // a failure of the patcher itself
};

struct FileFailure {
    FileFault Fault = FileFault::None;
    unsigned long SystemCode = 0;  // the system's error number where a system call failed, else 0
};

// Whether the failure is the patcher's own (its memory, its data, its code) rather than the file's or the
// system's: the patcher has failed, whatever else the run did.
inline bool IsThePatchersOwn(FileFault fault) noexcept {
    return fault == FileFault::OutOfMemory || fault == FileFault::DamagedData || fault == FileFault::Unexpected;
}

// Thrown where the packed data that the program carries does not unpack to the content recorded for it.
class DamagedDataError final : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The failure that an exception caught while working on a product file stands for.
FileFailure FailureOf(const std::exception_ptr& error) noexcept;

// The failure that a system error number stands for.
FileFailure FailureOfSystemError(unsigned long code) noexcept;

}  // namespace patcher

#include "engine/FileFailure.h"

#include <new>

#include "engine/UDer.h"
#include "platform/FileSystem.h"
#include "platform/SystemErrors.h"

namespace patcher {

FileFailure FailureOf(const std::exception_ptr& error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const ReadOnlyFileError& e) {
        return {FileFault::ReadOnly, e.SystemCode()};
    } catch (const FileInUseError& e) {
        return {FileFault::InUse, e.SystemCode()};
    } catch (const PlatformError& e) {
        return FailureOfSystemError(e.SystemCode());
    } catch (const DamagedDataError&) {
        return {FileFault::DamagedData, 0};
    } catch (const UnpackError&) {
        return {FileFault::DamagedData, 0};
    } catch (const std::bad_alloc&) {
        return {FileFault::OutOfMemory, 0};
    } catch (...) {
        return {FileFault::Unexpected, 0};
    }
}

FileFailure FailureOfSystemError(unsigned long code) noexcept {
    switch (ClassifySystemError(code)) {
        case SystemFault::NotFound:
            return {FileFault::NotFound, code};
        case SystemFault::AccessDenied:
            return {FileFault::AccessDenied, code};
        case SystemFault::InUse:
            return {FileFault::InUse, code};
        case SystemFault::DiskFull:
            return {FileFault::DiskFull, code};
        case SystemFault::Other:
            break;
    }
    return {FileFault::SystemError, code};
}

}  // namespace patcher

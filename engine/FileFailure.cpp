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
        switch (ClassifySystemError(e.SystemCode())) {
            case SystemFault::NotFound:
                return {FileFault::NotFound, e.SystemCode()};
            case SystemFault::AccessDenied:
                return {FileFault::AccessDenied, e.SystemCode()};
            case SystemFault::InUse:
                return {FileFault::InUse, e.SystemCode()};
            case SystemFault::DiskFull:
                return {FileFault::DiskFull, e.SystemCode()};
            case SystemFault::Other:
                break;
        }
        return {FileFault::SystemError, e.SystemCode()};
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

}  // namespace patcher

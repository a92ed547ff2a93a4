#include "platform/Registry.h"

#include "platform/PlatformError.h"

namespace patcher {

namespace {
// ERROR_DATATYPE_MISMATCH, without pulling the system headers into portable code.
constexpr unsigned long kDataTypeMismatch = 1629;
}  // namespace

ByteString ReadRegistryString(RegistryKey& key, ByteStringView name) {
    const std::optional<RegistryValue> value = key.QueryValue(name);
    if (!value || value->Data.empty()) {
        return {};
    }
    if (value->Type != kRegistryString && value->Type != kRegistryExpandString) {
        throw PlatformError("reading registry value " + ByteString(name) + " as a string", kDataTypeMismatch);
    }
    const std::size_t end = value->Data.find('\0');
    return end == ByteString::npos ? value->Data : value->Data.substr(0, end);
}

}  // namespace patcher

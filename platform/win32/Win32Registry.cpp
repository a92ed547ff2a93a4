#include <windows.h>

#include <algorithm>

#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/win32/UniqueHandle.h"

namespace patcher {
namespace {

using win32::UniqueRegistryKey;

// Only reading is asked for: a user without administrator rights may read the product's key below the local
// machine's root but not open it for writing. A 64-bit build reads the 32-bit view, where the product
// family's 32-bit installers write.
#ifdef _WIN64
constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
#else
constexpr REGSAM kReadAccess = KEY_READ;
#endif

// A value that grows between the size query and the read is asked for again, a few times at most.
constexpr int kReadAttempts = 4;

HKEY Root(RegistryHive hive) {
    return hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

class Win32RegistryKey final : public RegistryKey {
  public:
    explicit Win32RegistryKey(UniqueRegistryKey key) : key_(std::move(key)) {}

    bool ValueExists(ByteStringView name) override {
        if (HoldsZeroByte(name)) {
            return false;
        }
        const ByteString terminated(name);
        DWORD type = 0;
        DWORD size = 0;
        return ::RegQueryValueExA(key_.Get(), terminated.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    }

    std::optional<RegistryValue> QueryValue(ByteStringView name) override {
        if (HoldsZeroByte(name)) {
            return std::nullopt;
        }
        const ByteString terminated(name);
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(key_.Get(), terminated.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        RegistryValue value{type, {}};
        for (int attempt = 1; size != 0; ++attempt) {
            value.Data.assign(size, '\0');
            DWORD got = size;
            const LONG status = ::RegQueryValueExA(key_.Get(), terminated.c_str(), nullptr, &type,
                                                   reinterpret_cast<BYTE*>(value.Data.data()), &got);
            if (status == ERROR_MORE_DATA && attempt < kReadAttempts) {
                size = got;
                continue;
            }
            if (status != ERROR_SUCCESS) {
                throw PlatformError("RegQueryValueExA", static_cast<unsigned long>(status));
            }
            // Only what the registry wrote counts, and never more than the buffer holds.
            value.Type = type;
            value.Data.resize(std::min(got, size));
            return value;
        }
        return value;
    }

  private:
    UniqueRegistryKey key_;
};

class Win32Registry final : public Registry {
  public:
    std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, ByteStringView path) override {
        if (HoldsZeroByte(path)) {
            return nullptr;
        }
        const ByteString terminated(path);
        UniqueRegistryKey key;
        if (::RegOpenKeyExA(Root(hive), terminated.c_str(), 0, kReadAccess, key.Put()) != ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<Win32RegistryKey>(std::move(key));
    }
};

}  // namespace

Registry& SystemRegistry() {
    static Win32Registry registry;
    return registry;
}

}  // namespace patcher

#include <windows.h>

#include <algorithm>

#include "platform/PathBytes.h"
#include "platform/PlatformError.h"
#include "platform/Registry.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

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

// A key read through the A functions, in the system's code page.
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

// A key read through the W functions, its names and strings as Windows-1250.
class Windows1250RegistryKey final : public RegistryKey {
  public:
    explicit Windows1250RegistryKey(UniqueRegistryKey key) : key_(std::move(key)) {}

    bool ValueExists(ByteStringView name) override {
        const std::optional<std::wstring> wide = WideName(name);
        DWORD type = 0;
        DWORD size = 0;
        return wide && ::RegQueryValueExW(key_.Get(), wide->c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    }

    std::optional<RegistryValue> QueryValue(ByteStringView name) override {
        const std::optional<std::wstring> wide = WideName(name);
        DWORD type = 0;
        DWORD size = 0;
        if (!wide || ::RegQueryValueExW(key_.Get(), wide->c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        ByteString data;
        for (int attempt = 1; size != 0; ++attempt) {
            data.assign(size, '\0');
            DWORD got = size;
            const LONG status = ::RegQueryValueExW(key_.Get(), wide->c_str(), nullptr, &type,
                                                   reinterpret_cast<BYTE*>(data.data()), &got);
            if (status == ERROR_MORE_DATA && attempt < kReadAttempts) {
                size = got;
                continue;
            }
            if (status != ERROR_SUCCESS) {
                throw PlatformError("RegQueryValueExW", static_cast<unsigned long>(status));
            }
            data.resize(std::min(got, size));
            break;
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ) {
            return RegistryValue{type, data};
        }
        // UTF-16 as stored; a character that Windows-1250 lacks cannot be the installer's, and fails the read.
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
                  reinterpret_cast<char*>(text.data()));
        return RegistryValue{type, win32::BytesFromWide(text, win32::kCodePageCentralEurope)};
    }

  private:
    static std::optional<std::wstring> WideName(ByteStringView name) {
        if (HoldsZeroByte(name)) {
            return std::nullopt;
        }
        return win32::WideFromBytes(name, win32::kCodePageCentralEurope);
    }

    UniqueRegistryKey key_;
};

class Win32Registry final : public Registry {
  public:
    using Registry::OpenKey;

    std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, ByteStringView path, RegistryText text) override {
        if (HoldsZeroByte(path)) {
            return nullptr;
        }
        UniqueRegistryKey key;
        if (text == RegistryText::Windows1250) {
            const std::wstring wide = win32::WideFromBytes(path, win32::kCodePageCentralEurope);
            if (::RegOpenKeyExW(Root(hive), wide.c_str(), 0, kReadAccess, key.Put()) != ERROR_SUCCESS) {
                return nullptr;
            }
            return std::make_unique<Windows1250RegistryKey>(std::move(key));
        }
        const ByteString terminated(path);
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

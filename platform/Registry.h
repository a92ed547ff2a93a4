#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "common/ByteString.h"

namespace patcher {

// The two hives that the product family records itself in.
enum class RegistryHive { CurrentUser, LocalMachine };

// Value types, numbered as the registry numbers them.
using RegistryValueType = std::uint32_t;
inline constexpr RegistryValueType kRegistryString = 1;        // REG_SZ
inline constexpr RegistryValueType kRegistryExpandString = 2;  // REG_EXPAND_SZ
inline constexpr RegistryValueType kRegistryBinary = 3;        // REG_BINARY
inline constexpr RegistryValueType kRegistryDword = 4;         // REG_DWORD
inline constexpr RegistryValueType kRegistryMultiString = 7;   // REG_MULTI_SZ

struct RegistryValue {
    RegistryValueType Type = 0;
    ByteString Data;  // exactly the bytes that the registry handed back, terminated or not
};

// A key opened for reading; it is closed when the object goes.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;

    // True when the key holds a value of this name, of any type. Never fails: a value whose type and size
    // cannot be had counts as absent.
    virtual bool ValueExists(ByteStringView name) = 0;
    // The value's type and data. std::nullopt when its type and size cannot be had (an absent value
    // included); an empty value is read as empty data without a second call. Throws PlatformError when
    // reading the data itself fails.
    virtual std::optional<RegistryValue> QueryValue(ByteStringView name) = 0;
};

// Reads a named value as a string: empty when the value is absent or its data is empty; otherwise the value
// must be REG_SZ or REG_EXPAND_SZ (anything else throws PlatformError) and the string ends at its first zero
// byte, or at the end of the data when there is none. Environment references stay unexpanded.
ByteString ReadRegistryString(RegistryKey& key, ByteStringView name);

// How a key's path, its value names and its string data are read. The registry keeps UTF-16: the A functions
// turn it into the system's ANSI code page, so a record that the product's installer wrote through them on
// a machine with code page 1250 reads back as other bytes where the code page is another. Read as
// Windows-1250 (through the W functions), it gives back the installer's very bytes on any machine.
enum class RegistryText {
    AnsiCodePage,  // as the A functions read it
    Windows1250,   // the product family's own text
};

// The registry, read only.
class Registry {
  public:
    virtual ~Registry() = default;

    // Opens an existing key below the hive's root for reading; it is never created. nullptr when the key is
    // missing, access is refused, or the path cannot name a key (or be read as `text` says).
    virtual std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, ByteStringView path, RegistryText text) = 0;
    std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, ByteStringView path) {
        return OpenKey(hive, path, RegistryText::AnsiCodePage);
    }
};

// The registry of the machine the program runs on (Windows builds only).
Registry& SystemRegistry();

}  // namespace patcher

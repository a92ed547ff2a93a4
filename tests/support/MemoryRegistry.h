#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/Registry.h"

namespace patcher::testing {

// A registry held in memory: two hives of keys with typed values, filled by the test with the bytes that an
// installer on a machine with code page 1250 wrote. Key paths and value names compare without regard to ASCII
// case, as in the registry. It records every key it is asked to open, counts the keys not yet closed, and
// refuses keys or fails reads on request. Read through the system's code page where that is not 1250
// (AnsiCodePage), a name or a string with a byte beyond ASCII no longer reads as written: such a name is not
// found and such a string comes back with "?" for those bytes, as the A functions give it.
class MemoryRegistry final : public Registry {
  public:
    using Registry::OpenKey;

    unsigned AnsiCodePage = 1250;

    struct OpenRequest {
        RegistryHive Hive;
        std::string Path;
    };

    void AddKey(RegistryHive hive, const std::string& path) { keys_[{hive, Fold(path)}]; }
    void SetValue(RegistryHive hive,
                  const std::string& path,
                  const std::string& name,
                  RegistryValueType type,
                  std::string data) {
        keys_[{hive, Fold(path)}][Fold(name)] = Stored{type, std::move(data), false};
    }
    // A REG_SZ value stored with its terminating zero, as the system stores strings.
    void SetString(RegistryHive hive, const std::string& path, const std::string& name, const std::string& text) {
        SetValue(hive, path, name, kRegistryString, text + '\0');
    }
    // The key exists but opening it is refused (as without the rights asked for).
    void RefuseKey(RegistryHive hive, const std::string& path) { refused_.insert({hive, Fold(path)}); }
    // The value's type and size can be had, but reading its data fails.
    void FailRead(RegistryHive hive, const std::string& path, const std::string& name) {
        keys_.at({hive, Fold(path)}).at(Fold(name)).FailRead = true;
    }

    const std::vector<OpenRequest>& Opened() const { return opened_; }
    int KeysOpen() const { return keysOpen_; }

    std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, ByteStringView path, RegistryText text) override {
        opened_.push_back({hive, std::string(path)});
        const KeyId id{hive, Fold(std::string(path))};
        const auto found = keys_.find(id);
        if (found == keys_.end() || refused_.count(id) != 0) {
            return nullptr;
        }
        return std::make_unique<Key>(*this, found->second, text == RegistryText::AnsiCodePage && AnsiCodePage != 1250);
    }

  private:
    struct Stored {
        RegistryValueType Type = 0;
        std::string Data;
        bool FailRead = false;
    };
    using KeyId = std::pair<RegistryHive, std::string>;
    using Values = std::map<std::string, Stored>;

    class Key final : public RegistryKey {
      public:
        Key(MemoryRegistry& owner, const Values& values, bool otherCodePage)
            : owner_(owner), values_(values), otherCodePage_(otherCodePage) {
            ++owner_.keysOpen_;
        }
        ~Key() override { --owner_.keysOpen_; }

        bool ValueExists(ByteStringView name) override { return Find(name) != values_.end(); }

        std::optional<RegistryValue> QueryValue(ByteStringView name) override {
            const auto found = Find(name);
            if (found == values_.end()) {
                return std::nullopt;
            }
            if (found->second.FailRead && !found->second.Data.empty()) {
                throw PlatformError("reading " + std::string(name), 5);
            }
            std::string data = found->second.Data;
            if (otherCodePage_ &&
                (found->second.Type == kRegistryString || found->second.Type == kRegistryExpandString)) {
                std::replace_if(
                    data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }, '?');
            }
            return RegistryValue{found->second.Type, data};
        }

      private:
        Values::const_iterator Find(ByteStringView name) const {
            const bool ascii =
                std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
            return otherCodePage_ && !ascii ? values_.end() : values_.find(Fold(std::string(name)));
        }

        MemoryRegistry& owner_;
        const Values& values_;
        bool otherCodePage_;
    };

    static std::string Fold(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
        return text;
    }

    std::map<KeyId, Values> keys_;
    std::set<KeyId> refused_;
    std::vector<OpenRequest> opened_;
    int keysOpen_ = 0;
};

}  // namespace patcher::testing

#include "shell/InstallDirLookup.h"

#include <utility>

#include "profile/ProductKinds.h"
#include "shell/untKod.h"

namespace patcher {
namespace {

constexpr ByteStringView kPlainValueName = "Katalog";
constexpr ByteStringView kFixedKey = "Software\\Vokarion\\DeuVokarion";
constexpr std::int32_t kLookupKeyNo = 5;

// The record below the product's own key in one hive. A value found under the scrambled name is read even
// when it turns out unreadable: the plain name is then not tried in this hive.
ByteString ReadProductRecord(const ProductProfile& profile, Registry& registry, RegistryHive hive) {
    const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, ProductKeyTable(profile.ProductIndex));
    if (!key) {
        return {};
    }
    const ByteString scrambledName = Kod.Encode(kPlainValueName, profile.ProductIndex, kLookupKeyNo);
    if (key->ValueExists(scrambledName)) {
        return Kod.Decode(ReadRegistryString(*key, scrambledName), profile.ProductIndex, kLookupKeyNo);
    }
    // The plain-named value holds scrambled data as well.
    if (key->ValueExists(kPlainValueName)) {
        return Kod.Decode(ReadRegistryString(*key, kPlainValueName), profile.ProductIndex, kLookupKeyNo);
    }
    return {};
}

ByteString ReadRecord(const ProductProfile& profile, Registry& registry, RegistryHive hive) {
    const InstallRecord record = InstallRecordOf(profile.ProductKind);
    if (record == InstallRecord::ProductKey) {
        return ReadProductRecord(profile, registry, hive);
    }
    if (record == InstallRecord::FixedKey && hive == RegistryHive::LocalMachine) {
        const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, kFixedKey);
        if (key && key->ValueExists(kPlainValueName)) {
            return ReadRegistryString(*key, kPlainValueName);
        }
    }
    return {};
}

// One hive's attempt: whatever goes wrong in it means nothing was found there.
ByteString TryHive(const ProductProfile& profile, Registry& registry, RegistryHive hive) noexcept {
    try {
        return ReadRecord(profile, registry, hive);
    } catch (...) {
        return {};
    }
}

}  // namespace

ProductFolder LocateInstallDir(const ProductProfile& profile, Registry& registry) noexcept {
    if (ByteString path = TryHive(profile, registry, RegistryHive::CurrentUser); !path.empty()) {
        return {std::move(path), FolderSource::CurrentUserRecord};
    }
    // An empty record counts as none, so the local machine's is consulted too.
    if (ByteString path = TryHive(profile, registry, RegistryHive::LocalMachine); !path.empty()) {
        return {std::move(path), FolderSource::LocalMachineRecord};
    }
    return {};
}

ByteString FindInstallDir(const ProductProfile& profile, Registry& registry) noexcept {
    return LocateInstallDir(profile, registry).Path;
}

}  // namespace patcher

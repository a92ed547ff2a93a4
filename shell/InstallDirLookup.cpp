#include "shell/InstallDirLookup.h"

#include <optional>
#include <utility>

#include "platform/TextCodePages.h"
#include "profile/ProductKinds.h"
#include "shell/untKod.h"

namespace patcher {
namespace {

constexpr std::int32_t kLookupKeyNo = 5;

// The record below the product's own key in one hive. A value found under the scrambled name is read even
// when it turns out unreadable: the plain name is then not tried in this hive.
ByteString ReadProductRecord(const ProductProfile& profile, Registry& registry, RegistryHive hive, RegistryText text) {
    const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, ProductKeyTable(profile.ProductIndex), text);
    if (!key) {
        return {};
    }
    const ByteString scrambledName = Kod.Encode(kRecordValueName, profile.ProductIndex, kLookupKeyNo);
    if (key->ValueExists(scrambledName)) {
        return Kod.Decode(ReadRegistryString(*key, scrambledName), profile.ProductIndex, kLookupKeyNo);
    }
    // The plain-named value holds scrambled data as well.
    if (key->ValueExists(kRecordValueName)) {
        return Kod.Decode(ReadRegistryString(*key, kRecordValueName), profile.ProductIndex, kLookupKeyNo);
    }
    return {};
}

ByteString ReadRecord(const ProductProfile& profile, Registry& registry, RegistryHive hive, RegistryText text) {
    const InstallRecord record = InstallRecordOf(profile.ProductKind);
    if (record == InstallRecord::ProductKey) {
        return ReadProductRecord(profile, registry, hive, text);
    }
    if (record == InstallRecord::FixedKey && hive == RegistryHive::LocalMachine) {
        const std::unique_ptr<RegistryKey> key = registry.OpenKey(hive, kFixedRecordKey, text);
        if (key && key->ValueExists(kRecordValueName)) {
            return ReadRegistryString(*key, kRecordValueName);
        }
    }
    return {};
}

// One reading of one hive: whatever goes wrong in it means nothing was found there.
ByteString TryHive(const ProductProfile& profile, Registry& registry, RegistryHive hive, RegistryText text) noexcept {
    try {
        return ReadRecord(profile, registry, hive, text);
    } catch (...) {
        return {};
    }
}

// One hive's record, read as the A functions read it; where that finds nothing or a folder that is not there
// and the system's code page is not the installer's 1250, read again as Windows-1250 and named in the
// system's code page. Empty where the hive holds no record.
ProductFolder LocateInHive(const ProductProfile& profile,
                           Registry& registry,
                           RegistryHive hive,
                           const RecordPlaces& places) noexcept {
    const FolderSource source =
        hive == RegistryHive::CurrentUser ? FolderSource::CurrentUserRecord : FolderSource::LocalMachineRecord;
    ProductFolder asRead{TryHive(profile, registry, hive, RegistryText::AnsiCodePage), source};
    const bool found = !asRead.Path.empty() && (!places.FolderExists || places.FolderExists(asRead.Path));
    if (found || places.AnsiCodePage == kInstallerCodePage) {
        return asRead;
    }
    const ByteString written = TryHive(profile, registry, hive, RegistryText::Windows1250);
    if (written.empty()) {
        return asRead;
    }
    if (std::optional<ByteString> named = Reencoded(written, kInstallerCodePage, places.AnsiCodePage)) {
        return {std::move(*named), source};
    }
    // A folder that the A file functions cannot reach on this system; its name stays the record's.
    return {written, source, FolderVerdict::NotInCodePage};
}

}  // namespace

ProductFolder LocateInstallDir(const ProductProfile& profile, Registry& registry, const RecordPlaces& places) noexcept {
    if (ProductFolder folder = LocateInHive(profile, registry, RegistryHive::CurrentUser, places);
        !folder.Path.empty()) {
        return folder;
    }
    // An empty record counts as none, so the local machine's is consulted too.
    if (ProductFolder folder = LocateInHive(profile, registry, RegistryHive::LocalMachine, places);
        !folder.Path.empty()) {
        return folder;
    }
    return {};
}

ByteString FindInstallDir(const ProductProfile& profile, Registry& registry) noexcept {
    return LocateInstallDir(profile, registry, {}).Path;
}

}  // namespace patcher

#include "tools/patchkit/PatcherAssembly.h"

#include "profile/ProductProfile.h"
#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/Windows1250Text.h"
#include "tools/pe/PeFormat.h"

namespace patcher::patchkit {
namespace {

std::u16string Utf16(ByteStringView windows1250) {
    std::u16string text;
    for (const char byte : windows1250) {
        text += Utf16OfWindows1250Byte(byte);
    }
    return text;
}

pe::ResourceId Named(ByteStringView name) {
    return pe::ResourceId::Named(Utf16(name));
}

}  // namespace

std::string PatcherFileName(const PatchTables& tables) {
    const ByteStringView file = FileName(tables.UpdateIndex);
    const ByteStringView stem = file.substr(0, file.rfind('.'));
    return std::string(stem) + "-" + std::string(tables.UpdateVersion) + "-patch.exe";
}

pe::VersionInfo PatcherVersionInfo(const PatchTables& tables) {
    const std::u16string title = Utf16(tables.UpdateTitle[0]);
    const std::u16string version = Utf16(tables.UpdateVersion);
    const std::string fileName = PatcherFileName(tables);
    const std::u16string exeName = Utf16(fileName);
    const std::u16string internalName = exeName.substr(0, exeName.size() - 4);
    pe::VersionInfo info;
    info.FileVersion = pe::VersionNumbers(std::string(tables.UpdateVersion));
    info.ProductVersion = info.FileVersion;
    const auto table = [&](const char16_t* key, const std::u16string& description) {
        return pe::VersionInfo::StringTable{key,
                                            {{u"CompanyName", u"Qordex"},
                                             {u"FileDescription", description},
                                             {u"FileVersion", version},
                                             {u"InternalName", internalName},
                                             {u"OriginalFilename", exeName},
                                             {u"ProductName", title},
                                             {u"ProductVersion", version}}};
    };
    info.StringTables = {table(u"041504E2", title + u" - uaktualnienie do wersji " + version),
                         table(u"040904E2", title + u" - update to version " + version)};
    info.Translations = {{0x0415, 1250}, {0x0409, 1250}};
    return info;
}

std::vector<pe::PeResource> PatcherResources(const PatchTables& tables,
                                             std::span<const std::uint8_t> tablesResource,
                                             const std::vector<standin::PackedResource>& slots) {
    using pe::ResourceId;
    namespace types = pe::resources;
    std::vector<pe::PeResource> resources;
    resources.push_back({ResourceId::Numbered(types::kRcData), Named(kPatchTablesResource), kResourceLanguage,
                         std::vector<std::uint8_t>(tablesResource.begin(), tablesResource.end())});
    for (const standin::PackedResource& slot : slots) {
        resources.push_back({ResourceId::Numbered(types::kRcData), Named(slot.Name), kResourceLanguage, slot.Packed});
    }
    resources.push_back({ResourceId::Numbered(types::kVersion), ResourceId::Numbered(1), kResourceLanguage,
                         pe::VersionInfoResource(PatcherVersionInfo(tables))});
    return resources;
}

std::vector<std::uint8_t> AssemblePatcher(std::span<const std::uint8_t> stub,
                                          const PatchTables& tables,
                                          std::span<const std::uint8_t> tablesResource,
                                          const std::vector<standin::PackedResource>& slots) {
    const std::vector<pe::PeResource> resources = PatcherResources(tables, tablesResource, slots);
    return pe::WithResources(stub, resources);
}

}  // namespace patcher::patchkit

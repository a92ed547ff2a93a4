// libFuzzer harness for `patchkit inspect`, the whole of it: the PE reader, the tables, the unpacking of the
// slots, the version information, the certificate table, the PKCS#7 data and its certificates, the digest and
// the text printed. No input may make it crash, hang, read outside its input or fail with anything but
// NotAPatcher.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/untPatcher.h"
#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"
#include "tests/pe/PeBuilder.h"
#include "tests/pe/SignedImage.h"
#include "tools/packer/Packer.h"
#include "tools/patchkit/InspectionText.h"
#include "tools/patchkit/PatcherInspection.h"
#include "tools/pe/ResourceWriter.h"
#include "tools/pe/VersionInfo.h"

namespace {

using namespace patcher;

// A small patcher of file 10 (one slot), 64 bytes its one build: the program that signatures are tried on.
std::vector<std::uint8_t> SmallPatcher() {
    std::vector<std::uint8_t> content(64);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    PatchTables tables;
    tables.ProductIndex = 2;
    tables.ProductLanguage = 1;
    tables.ProductKind = 1;
    tables.SelectedFiles[1] = 1 << 2;  // file 10
    tables.UpdateIndex = 10;
    tables.UpdateTitle = {"Vokarion", "Vokarion"};
    tables.UpdateVersion = "1.0";
    FileTables& file = tables.Files[9];
    KnownVersion build{1, static_cast<std::int32_t>(content.size()), {}};
    for (std::size_t s = 0; s < build.Samples.size(); ++s) {
        build.Samples[s] = {static_cast<std::int32_t>(s), content[s]};
    }
    file.Versions = {build};
    file.Newest = 1;
    file.NewContent = {build.Size, Crc32(content)};

    pe::VersionInfo version;
    version.FileVersion = version.ProductVersion = {1, 0, 0, 0};
    version.StringTables = {{u"040904E2", {{u"ProductName", u"Vokarion"}}}};
    version.Translations = {{0x0409, 1250}};
    const ByteStringView slot = ResourceName(10, 1);
    const std::vector<pe::PeResource> resources = {
        {pe::ResourceId::Numbered(pe::resources::kRcData), pe::ResourceId::Named(u"PATCHTABLES"), 0x409,
         WritePatchTables(tables)},
        {pe::ResourceId::Numbered(pe::resources::kRcData),
         pe::ResourceId::Named(std::u16string(slot.begin(), slot.end())), 0x409, packer::Pack(content)},
        {pe::ResourceId::Numbered(pe::resources::kVersion), pe::ResourceId::Numbered(1), 0x409,
         pe::VersionInfoResource(version)},
    };
    return pe::WithResources(testing::PeBuilder().Build(), resources);
}

void Inspect(std::span<const std::uint8_t> image) {
    try {
        const patchkit::PatcherInspection inspection = patchkit::InspectPatcher(image);
        patchkit::InspectionText(inspection, "fuzzed.exe");
        inspection.Faults();
    } catch (const patchkit::NotAPatcher&) {
    }
}

}  // namespace

// The first byte says how the rest is meant: as a whole file, or as the PKCS#7 data of the one certificate
// entry of a small patcher, so that the fuzzer works on the signature's DER as often as on the file around it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        Inspect(rest);
    } else {
        static const std::vector<std::uint8_t> patcher = SmallPatcher();
        const testing::DerBytes signature(rest.begin(), rest.end());
        Inspect(testing::WithCertificateTable(patcher, testing::CertificateEntry(signature)));
    }
    return 0;
}

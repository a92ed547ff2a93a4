// libFuzzer harness for the PE reader and the resource writer: no file may make them read outside it, hang,
// or fail with anything but std::invalid_argument (BrokenImage, UnsuitableStub, broken version information).
// Whatever the writer accepts, it returns an image whose resources read back as written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <vector>

#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/ResourceWriter.h"
#include "tools/pe/VersionInfo.h"

namespace {

using namespace patcher::pe;

void Read(std::span<const std::uint8_t> image) {
    const PeReader reader(image);
    reader.ImportedDlls();
    reader.RelocationBlocks();
    for (const PeReader::Section& section : reader.Sections()) {
        reader.SectionBytes(section);
    }
    for (const PeReader::Resource& resource : reader.Resources()) {
        if (resource.Type == ResourceId::Numbered(resources::kVersion)) {
            try {
                ParseVersionInfo(resource.Bytes);
            } catch (const std::invalid_argument&) {
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    try {
        Read(image);
    } catch (const std::invalid_argument&) {
    }
    try {
        const std::vector<PeResource> added = {
            {ResourceId::Numbered(resources::kRcData), ResourceId::Named(u"EXITCODE"), 0x409, {42, 0, 0, 0}}};
        const std::vector<std::uint8_t> written = WithResources(image, added);
        const PeReader reader(written);
        int found = 0;
        for (const PeReader::Resource& resource : reader.Resources()) {
            if (resource.Type == added[0].Type && resource.Name == added[0].Name && resource.Language == 0x409) {
                found += std::ranges::equal(resource.Bytes, added[0].Bytes) ? 1 : 2;
            }
        }
        if (found != 1 || reader.CheckSum() != PeChecksum(written)) {
            std::abort();
        }
    } catch (const std::invalid_argument&) {
    }
    return 0;
}

#include "tools/standin/PackedResources.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/UDer.h"
#include "engine/VersionTables.h"
#include "engine/untPatcher.h"
#include "tools/packer/Packer.h"

namespace patcher::standin {

std::vector<PackedResource> PackFileResources(StandinBuilds& builds, int fileIndex, bool greedy) {
    const Bytes& content = builds.Get(fileIndex, NewestVersion(fileIndex));
    const ByteStringView first = ResourceName(fileIndex, 1);
    const ByteStringView second = ResourceName(fileIndex, 2);
    if (first.empty()) {
        throw std::invalid_argument("file " + std::to_string(fileIndex) + " names no resource");
    }
    const std::size_t split = second.empty() ? content.size() : std::min(kFirstSlotBytes, content.size());
    const std::span<const std::uint8_t> whole(content);
    std::vector<PackedResource> resources;
    DecoderState decoder;
    for (const auto& [name, part] : {std::pair{first, whole.first(split)}, std::pair{second, whole.subspan(split)}}) {
        if (name.empty()) {
            continue;
        }
        PackedResource resource{ByteString(name),
                                packer::Pack(part, greedy ? packer::ParseMethod::Greedy : packer::ParseMethod::Optimal),
                                part.size()};
        const auto unpacked = Unpack(decoder, resource.Packed);
        if (!std::equal(unpacked.begin(), unpacked.end(), part.begin(), part.end())) {
            throw std::logic_error("resource " + resource.Name + " does not unpack to what was packed");
        }
        resources.push_back(std::move(resource));
    }
    return resources;
}

}  // namespace patcher::standin

#include "tools/standin/PackedResources.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/UDer.h"

namespace patcher::standin {

std::size_t DefaultFirstSlotBytes(std::size_t size) {
    const auto capacity = static_cast<std::size_t>(UnpackCapacity);
    if (size > kFirstSlotBytes && size - kFirstSlotBytes <= capacity) {
        return kFirstSlotBytes;
    }
    return std::min(capacity, size - size / 2);
}

std::vector<std::span<const std::uint8_t>> SplitOverSlots(std::span<const std::uint8_t> content,
                                                          bool twoSlots,
                                                          std::optional<std::size_t> firstSlotBytes) {
    if (!twoSlots) {
        return {content};
    }
    const std::size_t split = std::min(firstSlotBytes.value_or(DefaultFirstSlotBytes(content.size())), content.size());
    return {content.first(split), content.subspan(split)};
}

std::vector<PackedResource> PackFileResources(std::span<const std::uint8_t> content,
                                              ByteStringView firstName,
                                              ByteStringView secondName,
                                              packer::ParseMethod method,
                                              std::optional<std::size_t> firstSlotBytes) {
    if (firstName.empty()) {
        throw std::invalid_argument("the row names no resource in slot 1");
    }
    const std::vector<std::span<const std::uint8_t>> parts =
        SplitOverSlots(content, !secondName.empty(), firstSlotBytes);
    std::vector<PackedResource> resources;
    DecoderState decoder;
    for (std::size_t slot = 0; slot < parts.size(); ++slot) {
        const std::span<const std::uint8_t> part = parts[slot];
        PackedResource resource{ByteString(slot == 0 ? firstName : secondName), packer::Pack(part, method),
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

#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tools/pe/ResourceId.h"

namespace patcher::pe {

// A resource to write: its type and name (numbers up to 65535, or UTF-16 names in capitals, as FindResource
// looks them up), its language, and its bytes.
struct PeResource {
    ResourceId Type;
    ResourceId Name;
    std::uint16_t Language = 0;
    std::vector<std::uint8_t> Bytes;
};

// The program `stub` with `resources` written into it: the stub keeps its own resources but those of the same
// type, name and language, which the given ones replace. The new resource section is the image's last;
// the sections that followed the old one (base relocations, discardable sections) move up in its place,
// their data directories with them. Sizes and the header checksum are set anew; nothing depends on the time,
// so the same inputs give the same bytes.
//
// Throws BrokenImage for a stub that is not a well-formed program, UnsuitableStub for one that carries a
// certificate, data after its last section, or a section after its resources that may not move, and
// std::invalid_argument for resources that cannot be written (a number above 65535, a name with small
// letters, the same one given twice, more than the image's 4 GiB can hold).
std::vector<std::uint8_t> WithResources(std::span<const std::uint8_t> stub, std::span<const PeResource> resources);

}  // namespace patcher::pe

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/standin/ContentStyles.h"

namespace patcher::standin {

// One section of a stand-in program: its bytes, and the room it takes in the file (a multiple of 512;
// the unused rest of that room is zero, as linkers leave it).
struct Section {
    std::string Name;
    Style Content;
    bool Evolves;  // changes from build to build (the tiny TLS and constant sections do not)
    std::uint32_t Characteristics;
    std::uint32_t RawSize;
    Bytes Payload;
};

// The model of one build of a Delphi-style program, from which its file image is assembled.
struct ExeBuild {
    std::vector<Section> Sections;
};

inline constexpr std::uint32_t kHeaderSize = 0x400;
inline constexpr std::uint32_t kFileAlignment = 0x200;

// A first build of `fileSize` bytes (a multiple of the file alignment).
ExeBuild FirstBuild(std::uint32_t fileSize, Random& random, const ContentWriter& writer);

// The sections' room in a build of `fileSize` bytes that grew or shrank from `build`: code takes most of the
// change, then resources, data and relocations.
std::vector<std::uint32_t> ResizeSections(const ExeBuild& build, std::uint32_t fileSize);

// The file: MZ header and DOS stub, PE headers and section table describing the sections, then each
// section's bytes padded with zeros to its room.
Bytes AssembleImage(const ExeBuild& build);

// A compiled help file of exactly `fileSize` bytes: "ITSF" header, directory chunks, packed content.
Bytes MakeHelpFile(int fileIndex, std::uint32_t fileSize, Random& random, const ContentWriter& writer);

}  // namespace patcher::standin

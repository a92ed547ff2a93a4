#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/SignatureTables.h"

namespace patcher::standin {

// One known build of a file as the picker sees it: its version number, its bytes, and the offsets that its
// table begins with, which the maintainers fix (the header check, the samples that a published table
// holds); the picker takes the rest.
struct KnownBuild {
    int Version;
    std::span<const std::uint8_t> Bytes;
    std::vector<std::int32_t> Leading;
};

// Every known build of one file, oldest first.
struct KnownFile {
    int FileIndex;
    std::vector<KnownBuild> Builds;
};

struct PickedTable {
    int FileIndex;
    int Version;
    SignatureTable Entries;
};

// Why the samples of a build could not be picked; names the build (of two that cannot be told apart, the
// later one, and OtherVersion the earlier; 0 for every other reason).
class PickError : public std::runtime_error {
  public:
    PickError(int fileIndex, int version, const std::string& what, int otherVersion = 0)
        : std::runtime_error(what), FileIndex(fileIndex), Version(version), OtherVersion(otherVersion) {}

    int FileIndex;
    int Version;
    int OtherVersion;
};

// Picks the 50 samples of every known build: its leading offsets, then distinct offsets spread over the
// whole file (one in each of equal strata after the leading ones), in a shuffled order. Versions of one file
// with equal sizes share their offsets (and must give the same leading ones), and where a stratum holds bytes
// in which they differ the sample is taken there, so that every such version is told apart from the others.
// The same bytes and leading offsets always give the same tables. Throws PickError for leading offsets that
// are out of place (outside the file, repeated, more than 50, unequal within a size) and for builds that
// cannot be told apart. Tables come in file and version order.
std::vector<PickedTable> PickSignatureTables(std::span<const KnownFile> files);

}  // namespace patcher::standin

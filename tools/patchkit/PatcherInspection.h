#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ByteString.h"
#include "tables/PatchTables.h"
#include "tools/pe/Authenticode.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::patchkit {

// What a patcher exe is, read from its bytes alone: the tables it carries, whether its packed data gives the
// content its tables describe, its version information and its signature. Nothing of it is run.

// A file that is no patcher: no well-formed program, one without the tables resource, or one whose tables
// cannot be trusted. The message says which, to follow "PATH is no patcher: ".
class NotAPatcher : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The most bytes that a patcher exe is read with: its packed data (at most 2 MiB per slot) and its program
// leave it far below.
inline constexpr std::uint64_t kMaxPatcherBytes = 64u << 20;

// The patcher exe at `path`, read whole: only a regular file of at most kMaxPatcherBytes. Throws
// std::runtime_error naming the path and the reason.
std::vector<std::uint8_t> ReadPatcherFile(const std::filesystem::path& path);

// The tables that a patcher carries, read as the patcher reads them. Throws NotAPatcher.
PatchTables PatcherTables(std::span<const std::uint8_t> image);

// The same for the patcher exe at `path`, read with ReadPatcherFile. Throws std::runtime_error whose message
// names the path: "PATH is no patcher: ..." for a file that is none.
PatchTables ReadPatcherTables(const std::filesystem::path& path);

// One packed resource of a selected file's row.
struct SlotCheck {
    ByteString Name;
    bool Present = false;
    std::size_t PackedBytes = 0;
    std::size_t UnpackedBytes = 0;
    std::string Failure;  // why it does not unpack; empty where it does (or is missing)
};

// A selected file's new content as its slots give it, against the digest of its tables.
struct ContentCheck {
    int FileIndex = 0;
    std::vector<SlotCheck> Slots;  // the row's slots that have a name, in order
    bool Unpacked = false;         // every slot is there and unpacks
    std::size_t Size = 0;          // the slots' bytes together, where they unpacked
    std::uint32_t Crc32 = 0;
    bool MatchesDigest = false;
};

// A data resource that is neither the tables nor a slot of a selected file.
struct OtherResource {
    std::string Name;  // as ResourceId::Text gives it
    std::size_t Bytes = 0;
};

struct SignatureCheck {
    bool Present = false;
    std::string Failure;  // why it cannot be read; empty where it can (or is absent)
    pe::AuthenticodeSignature Signature;
    bool DigestMatches = false;  // the file's own digest is the one signed
};

struct PatcherInspection {
    std::size_t FileBytes = 0;
    bool Is64Bit = false;
    PatchTables Tables;
    std::vector<ContentCheck> Contents;  // one per selected file, ascending
    std::vector<OtherResource> OtherData;
    bool HasVersionInfo = false;
    pe::VersionInfo Version;
    std::string VersionFailure;  // why the version information cannot be read; empty where it can
    SignatureCheck Signature;

    // What does not hold together, one phrase each ("PVOKAREN1A does not unpack: ..."): none for a patcher
    // that passed every check.
    std::vector<std::string> Faults() const;
};

// Reads a patcher exe. Throws NotAPatcher for what is no patcher; whatever else is wrong (a slot that does not
// unpack, broken version information or signature data) is told in the result. Reads nothing outside `image`,
// however its structures lie.
PatcherInspection InspectPatcher(std::span<const std::uint8_t> image);

}  // namespace patcher::patchkit

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/ByteString.h"
#include "common/FileIndex.h"
#include "engine/FileFailure.h"
#include "engine/InUseWait.h"
#include "platform/FileSystem.h"
#include "platform/ResourceStore.h"
#include "tables/PatchTables.h"

namespace patcher {

// Which build of a product file lies on disk.
enum class CheckResult : std::int32_t {
    Current = 0,        // the newest version: nothing to do
    OutOfDate = 1,      // an older known version: to be rewritten
    NotRecognised = 2,  // no known version matches in size and samples (an empty file included)
    Unreadable = 3,     // opening, sizing, positioning or reading failed
};

const char* CheckResultName(CheckResult result);

struct Recognition {
    CheckResult Result = CheckResult::NotRecognised;
    int Version = 0;           // the matching version for Current and OutOfDate, else 0
    FileFailure Failure = {};  // why the file was Unreadable
};

// Recognises the build of file fileIndex (1..12) in an open file by its exact size and the 50 samples of
// each version that `tables` know, lowest number first: the lowest that matches wins. Never throws: any failed
// read gives Unreadable.
Recognition IdentifyOpenFile(int fileIndex, ReadableFile& file, const PatchTables& tables);

// The same, but a failed read throws its PlatformError (FileInUseError where a lock stops it) instead.
Recognition IdentifyOpenFileOrThrow(int fileIndex, ReadableFile& file, const PatchTables& tables);

// The same for the file at path, which is only read, never whole, and closed on every path. A file that
// another program holds without letting others read is tried again as `wait` says.
Recognition IdentifyFileVersion(int fileIndex,
                                ByteStringView path,
                                FileSystem& files,
                                InUseWait& wait,
                                const PatchTables& tables = InstalledPatchTables());

// The same without waiting: a file that another program holds is Unreadable at once.
Recognition IdentifyFileVersion(int fileIndex,
                                ByteStringView path,
                                FileSystem& files,
                                const PatchTables& tables = InstalledPatchTables());

inline CheckResult RecogniseFileVersion(int fileIndex, ByteStringView path, FileSystem& files) {
    return IdentifyFileVersion(fileIndex, path, files).Result;
}

// The packed resources that hold each file's new content: two slots per file index, stored as 24 names in row
// order (slot k of row i is entry 2 * (i - 1) + (k - 1)); an empty name means the slot holds nothing.
extern const std::array<ByteStringView, 2 * kFileCount> ResourceNameTable;

// Slot 1 or 2 of the row of fileIndex (1..12); empty outside the table.
ByteStringView ResourceName(int fileIndex, int slot);

class DecoderState;

// What a rewrite needs: the file layer, the packed data the program carries and the program's one decoder.
struct RewriteServices {
    FileSystem& Files;
    ResourceStore& Resources;
    DecoderState& Decoder;
};

// What recognition found at a rewrite's target: the rewrite replaces only that.
struct FoundTarget {
    bool Exists = false;  // false: no file was there
    int Version = 0;      // the build found; 0 for one that no table knows

    friend bool operator==(const FoundTarget&, const FoundTarget&) = default;
};

// What became of a rewrite.
struct RewriteResult {
    bool Ok = false;           // the file now holds exactly the new content
    FileFailure Failure = {};  // why not, where something failed
    // Where the target no longer held what recognition had found there when its turn came (another program
    // changed, made or deleted it meanwhile): what it held then. It was left alone.
    std::optional<FoundTarget> ChangedTo;

    explicit operator bool() const noexcept { return Ok; }
};

// Loads the named packed resource, unpacks it and appends the bytes to `content`. Throws on any failure:
// a missing resource, a broken stream, no memory.
void UnpackResource(ByteStringView name,
                    ResourceStore& resources,
                    DecoderState& decoder,
                    std::vector<std::uint8_t>& content);

// Gives the file at path (the installation directory and the file's name) the new content of fileIndex:
// the unpacked resources of its row, one after the other, in the place of what recognition found there
// (`found`). Ok when the file now holds exactly that content. The content is unpacked and checked against its
// recorded digest first, then written to a new file beside the target. Right before the swap the target is
// held so that no other program can write it, and recognised again through that hold: where it no longer
// holds the build found (or a file came where none was), it is left alone and ChangedTo says what it holds.
// Otherwise the new file replaces it in one step. On every failure the target is byte for byte what it was
// (or still absent), and nothing is left behind. A target or new file that another program holds for the
// moment is tried again as `wait` says; a read-only target or one the user may not replace fails at once.
// Never throws.
RewriteResult RewriteFile(int fileIndex,
                          ByteStringView path,
                          const FoundTarget& found,
                          const RewriteServices& services,
                          InUseWait& wait);

// The same without waiting: a file that another program holds fails at once.
RewriteResult RewriteFile(int fileIndex,
                          ByteStringView path,
                          const FoundTarget& found,
                          const RewriteServices& services);

}  // namespace patcher

#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "common/ByteString.h"
#include "engine/FileFailure.h"
#include "engine/InUseWait.h"
#include "tables/PatchTables.h"
#include "platform/FileSystem.h"
#include "platform/ResourceStore.h"
#include "common/FileIndex.h"

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
    int Version = 0;                      // the matching version for Current and OutOfDate, else 0
    FileFailure Failure = {};             // why the file was Unreadable
    std::chrono::milliseconds Waited{0};  // how long another program held the file first
};

// The tables that start-up installed, under the name that the program's run still calls them by: once it says
// InstalledPatchTables(), this goes.
inline const PatchTables& CompiledVersionTables() {
    return InstalledPatchTables();
}

// Recognises the build of file fileIndex (1..12) in an open file by its exact size and the 50 samples of
// each version that `tables` know, lowest number first: the lowest that matches wins. Never throws: any failed
// read gives Unreadable.
Recognition IdentifyOpenFile(int fileIndex, ReadableFile& file, const PatchTables& tables);

// The same for the file at path, which is only read, never whole, and closed on every path. A file that
// another program holds without letting others read is tried again as `wait` says.
Recognition IdentifyFileVersion(int fileIndex,
                                ByteStringView path,
                                FileSystem& files,
                                const PatchTables& tables = InstalledPatchTables(),
                                const InUseWait& wait = {});

inline CheckResult RecogniseFileVersion(int fileIndex, ByteStringView path, FileSystem& files) {
    return IdentifyFileVersion(fileIndex, path, files).Result;
}

// The packed resources that hold each file's new content: two slots per file index, stored as 24 names in row
// order (slot k of row i is entry 2 * (i - 1) + (k - 1)); an empty name means the slot holds nothing.
extern const std::array<ByteStringView, 2 * kFileCount> ResourceNameTable;

// Slot 1 or 2 of the row of fileIndex (1..12); empty outside the table.
ByteStringView ResourceName(int fileIndex, int slot);

class DecoderState;

// What a rewrite needs: the file layer, the packed data the program carries, the program's one decoder, and
// how to wait for a file that another program holds (none: such a file fails at once).
struct RewriteServices {
    FileSystem& Files;
    ResourceStore& Resources;
    DecoderState& Decoder;
    InUseWait Wait = {};
};

// What became of a rewrite.
struct RewriteResult {
    bool Ok = false;                      // the file now holds exactly the new content
    FileFailure Failure = {};             // why not
    std::chrono::milliseconds Waited{0};  // how long another program held the file first

    explicit operator bool() const noexcept { return Ok; }
};

// Loads the named packed resource, unpacks it and appends the bytes to `content`. Throws on any failure:
// a missing resource, a broken stream, no memory.
void UnpackResource(ByteStringView name,
                    ResourceStore& resources,
                    DecoderState& decoder,
                    std::vector<std::uint8_t>& content);

// Gives the file at path (the installation directory and the file's name) the new content of fileIndex:
// the unpacked resources of its row, one after the other. Ok when the file now holds exactly that content.
// The content is unpacked and checked against its recorded digest first, then written to a new file beside
// the target, which replaces the target in one step: on false the target is byte for byte what it was (or
// still absent), and nothing is left behind. Only where the system moved the target aside and then refused
// to put back either file is neither deleted: the new file stays beside the old one. A target or new file
// that another program holds for the moment is tried again as services.Wait says; a read-only target or one
// the user may not write fails at once. Never throws.
RewriteResult RewriteFile(int fileIndex, ByteStringView path, const RewriteServices& services);

}  // namespace patcher

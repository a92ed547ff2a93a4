#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "tools/standin/ContentStyles.h"

namespace patcher::standin {

// The sizes of a family of builds: row i - 1 holds file index i, column v - 1 version v; 0 where the file
// has no such version.
using FamilySizes = std::array<std::array<std::int32_t, 12>, 12>;

// The sizes of the family's published builds, which the stand-ins take on.
const FamilySizes& PublishedSizes();

// The published builds and the next releases': a build 12 of VokarEn.exe (file 1) and a build 4 of VokarDe.exe
// (file 8), each made from the build before it as a new build is, the content of an English update to 1.5.4 and
// of a German one to 2.2. The published builds are those of PublishedSizes, byte for byte.
const FamilySizes& NextSizes();

// The German edition's program VokarDe.exe (file 8) as it grows past what one slot and a fixed first slot
// of 1,000,000 bytes carry: eleven builds of 3.5 to 4 MiB, versions 3 and 4 and versions 9 and 10 of one
// size each, the newest 4,194,304 bytes (as much as a row of two slots holds). No other file has a build.
const FamilySizes& GrownSizes();

// Stand-ins for the published builds of the product files: files of their exact sizes, shaped like the real
// things (a Delphi-style PE program: header, code, data, imports, relocations and resources; a compiled help
// file: its header, directory and packed content), with consecutive versions of one file sharing most of
// their bytes as real builds do. Deterministic: the same bytes everywhere.
class StandinBuilds {
  public:
    // The builds of a family of these sizes: the published family's stand-ins, or another family's.
    explicit StandinBuilds(const FamilySizes& sizes = PublishedSizes());
    ~StandinBuilds();
    StandinBuilds(const StandinBuilds&) = delete;
    StandinBuilds& operator=(const StandinBuilds&) = delete;

    // The content of version `version` of file `fileIndex`; throws std::invalid_argument for a pair that
    // the family has not published. Versions of a file derive from each other, so asking for one makes and
    // keeps the lower ones too.
    const Bytes& Get(int fileIndex, int version);

  private:
    struct FileHistory;
    const FamilySizes& sizes_;
    std::map<int, std::unique_ptr<FileHistory>> files_;
};

// One stand-in, made on its own.
Bytes GenerateStandin(int fileIndex, int version);

// The known versions of a file, oldest first.
std::vector<int> KnownVersions(int fileIndex, const FamilySizes& sizes = PublishedSizes());

}  // namespace patcher::standin

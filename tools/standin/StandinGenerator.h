#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "tools/standin/ContentStyles.h"

namespace patcher::standin {

// Stand-ins for the published builds of the product files: files of their exact sizes, shaped like the real
// things (a Delphi-style PE program: header, code, data, imports, relocations and resources; a compiled help
// file: its header, directory and packed content), with consecutive versions of one file sharing most of
// their bytes as real builds do. Deterministic: the same bytes everywhere.
class StandinBuilds {
  public:
    StandinBuilds();
    ~StandinBuilds();
    StandinBuilds(const StandinBuilds&) = delete;
    StandinBuilds& operator=(const StandinBuilds&) = delete;

    // The content of version `version` of file `fileIndex`; throws std::invalid_argument for a pair that
    // the family has not published. Versions of a file derive from each other, so asking for one makes and
    // keeps the lower ones too.
    const Bytes& Get(int fileIndex, int version);

  private:
    struct FileHistory;
    std::map<int, std::unique_ptr<FileHistory>> files_;
};

// One stand-in, made on its own.
Bytes GenerateStandin(int fileIndex, int version);

// The known versions of a file, oldest first.
std::vector<int> KnownVersions(int fileIndex);

// Writes every stand-in as dir/<file index>/<version>/<file name>; returns how many files it wrote.
int WriteStandins(const std::filesystem::path& dir);

}  // namespace patcher::standin

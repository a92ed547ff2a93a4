#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/standin/Random.h"

namespace patcher::standin {

using Bytes = std::vector<std::uint8_t>;

// The kinds of region that a product file is made of.
enum class Style {
    Code,         // x86 machine code of a Delphi-style program
    Data,         // initialised data: class tables, pointers, short strings, zero runs
    Text,         // Windows-1250 texts and word lists
    Imports,      // import descriptors, thunks and function names
    Relocations,  // base relocation blocks
    Resources,    // UTF-16 string tables, form data, 16-colour bitmaps
    Packed,       // already compressed content (help file sections): nearly random
};

// Writes bytes in a style. One writer belongs to one product file and holds that file's recurring code
// sequences, so that every version of the file repeats the same idioms, as builds of one program do.
class ContentWriter {
  public:
    explicit ContentWriter(std::uint64_t fileSeed);

    // Appends exactly `length` bytes of the given style to out.
    void Append(Style style, Random& random, Bytes& out, std::size_t length) const;

  private:
    void AppendCode(Random& random, Bytes& out, std::size_t end) const;
    void AppendData(Random& random, Bytes& out, std::size_t end) const;
    void AppendText(Random& random, Bytes& out, std::size_t end) const;
    void AppendImports(Random& random, Bytes& out, std::size_t end) const;
    void AppendRelocations(Random& random, Bytes& out, std::size_t end) const;
    void AppendResources(Random& random, Bytes& out, std::size_t end) const;
    void AppendPacked(Random& random, Bytes& out, std::size_t end) const;

    std::vector<Bytes> idioms_;
    std::uint32_t imageBase_;
};

}  // namespace patcher::standin

#pragma once

// A patcher that patchkit wrote, read back as the tests look into it: by the PE reader, its data resources as
// the patcher loads them, its tables as the patcher reads them.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "engine/UDer.h"
#include "tables/PatchTablesFormat.h"
#include "tests/support/FileBytes.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/PeResourceStore.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::testing {

class WrittenPatcher {
  public:
    explicit WrittenPatcher(const std::filesystem::path& exe) : store_(ReadBytes(exe)), reader_(store_.Image()) {}
    WrittenPatcher(const WrittenPatcher&) = delete;
    WrittenPatcher& operator=(const WrittenPatcher&) = delete;

    const std::vector<std::uint8_t>& Bytes() const { return store_.Image(); }
    const pe::PeReader& Reader() const { return reader_; }

    // A data resource's bytes, as FindResource finds it by name.
    std::vector<std::uint8_t> Data(ByteStringView name) {
        const std::span<const std::uint8_t> bytes = store_.Load(name)->Bytes();
        return {bytes.begin(), bytes.end()};
    }

    PatchTables Tables() { return ReadPatchTables(Data(kPatchTablesResource)); }

    // A slot, unpacked as the patcher's rewrite unpacks it.
    std::vector<std::uint8_t> Unpacked(ByteStringView slot) {
        DecoderState decoder;
        const std::span<const std::uint8_t> unpacked = Unpack(decoder, Data(slot));
        return {unpacked.begin(), unpacked.end()};
    }

    // The version information (RT_VERSION 1) that Windows' file properties show.
    pe::VersionInfo Version() const {
        return pe::ParseVersionInfo(reader_.FirstResource(pe::resources::kVersion, pe::ResourceId::Numbered(1)));
    }

  private:
    pe::PeResourceStore store_;
    pe::PeReader reader_;
};

}  // namespace patcher::testing

// libFuzzer harness for the reader of the patch tables: no input may make it crash, hang, read outside its input
// or fail with anything but PatchTablesError; and tables that it reads, written again, are the very bytes read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"

namespace {

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

}  // namespace

// The first byte says how the rest is meant: as a whole resource, or as the body behind a header made true (the
// magic, the layout version, the size and the CRC-32 of that body), so that the fuzzer reaches past the CRC-32
// check into the body as often as it tries the header itself.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    std::vector<std::uint8_t> bytes;
    if ((data[0] & 1) != 0) {
        bytes = {'V', 'K', 'P', 'T', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        PutU32(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
        PutU32(bytes, 12, patcher::Crc32(rest));
    } else {
        bytes.assign(rest.begin(), rest.end());
    }
    try {
        const patcher::PatchTables tables = patcher::ReadPatchTables(bytes);
        if (patcher::WritePatchTables(tables) != bytes) {
            std::abort();  // read as other tables than those the bytes hold
        }
    } catch (const patcher::PatchTablesError&) {
    }
    return 0;
}

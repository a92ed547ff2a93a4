// The header checksum, against the one that MinGW's linker computed for its stubs. (The Windows tests
// compare it with the system's own, MapFileAndCheckSumW.)
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/pe/StubPrograms.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::pe {
namespace {

TEST(PeChecksum, IsTheOneTheLinkerWrote) {
    const std::vector<testing::StubProgram> stubs = testing::StubPrograms();
    ASSERT_FALSE(stubs.empty());
    for (const testing::StubProgram& stub : stubs) {
        const PeReader reader(stub.Bytes);
        ASSERT_NE(reader.CheckSum(), 0U) << stub.Path;
        EXPECT_EQ(PeChecksum(stub.Bytes), reader.CheckSum()) << stub.Path;

        // Whatever the field holds counts as zero.
        std::vector<std::uint8_t> changed = stub.Bytes;
        Store32(changed, reader.Places().Optional + optional::kCheckSum, 0xA5A5A5A5);
        EXPECT_EQ(PeChecksum(changed), reader.CheckSum()) << stub.Path;
        // Any other byte counts.
        changed[reader.Places().SectionTable] ^= 1;
        EXPECT_NE(PeChecksum(changed), reader.CheckSum()) << stub.Path;
    }
}

TEST(PeChecksum, NeedsPeHeaders) {
    EXPECT_THROW(PeChecksum(std::vector<std::uint8_t>(100, 0)), BrokenImage);
}

}  // namespace
}  // namespace patcher::pe

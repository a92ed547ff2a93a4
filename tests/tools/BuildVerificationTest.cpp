// The check of a made patcher as read back against what was meant, on patchers changed after they were made:
// the patcher as made passes, and every change of what it would carry is refused, naming the description's line
// where a file is concerned.
#include "tools/patchkit/BuildVerification.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tables/PatchTablesFormat.h"
#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/TinyRelease.h"
#include "tools/packer/Packer.h"
#include "tools/patchkit/DerivedTables.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/PatcherAssembly.h"
#include "tools/patchkit/ResourceSlots.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeChecksum.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/ResourceWriter.h"

namespace patcher::patchkit {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ExitStub;
using testing::Noise;
using testing::ReadBytes;

// The steps of a build up to the patcher's resources, over the tiny release, written into the i686 exit stub.
class PatchBuildCrossCheck : public ::testing::Test {
  protected:
    PatchBuildCrossCheck() : description_(ParsePatchDescription(testing::kTinyDescription, "patch.toml")) {
        testing::WriteTinyRelease(dir_.Path() / "release");
        options_.Method = packer::ParseMethod::Greedy;
        options_.Stub = ExitStub();
        stub_ = ReadBytes(options_.Stub);
        BuildFigures figures;
        files_ = ReadRelease(description_, dir_.Path() / "release", figures);
        picked_ = PickTables(description_, files_);
        tables_ = DerivePatchTables(description_, files_, picked_);
        slots_ = PackSlots(description_, files_, options_, figures);
    }

    std::vector<pe::PeResource> Written(const PatchTables& tables,
                                        const std::vector<standin::PackedResource>& slots) const {
        return PatcherResources(tables, WritePatchTables(tables), slots);
    }

    Bytes Made(std::span<const pe::PeResource> written) const { return pe::WithResources(stub_, written); }

    // Why the check refuses `exe`, which was meant to carry `written`, or "(passed)".
    std::string Refusal(std::span<const std::uint8_t> exe, const std::vector<pe::PeResource>& written) const {
        try {
            CrossCheck(description_, files_, picked_, tables_, exe, stub_, written, options_);
        } catch (const DescriptionError& error) {
            return error.what();
        }
        return "(passed)";
    }

    testing::TempDir dir_;
    PatchDescription description_;
    BuildOptions options_;
    Bytes stub_;
    std::vector<LoadedFile> files_;
    std::vector<standin::PickedTable> picked_;
    PatchTables tables_;
    std::vector<standin::PackedResource> slots_;
};

// "patch.toml: the patcher made is not what was meant: <why>; nothing was written", the line given where a file
// is concerned.
std::string Refused(const std::string& why, const std::string& line = "") {
    return "patch.toml" + line + ": the patcher made is not what was meant: " + why + "; nothing was written";
}

// The file offset of a resource's first byte.
std::size_t OffsetOf(const Bytes& exe, const char16_t* name) {
    const std::span<const std::uint8_t> bytes =
        pe::PeReader(exe).FirstResource(pe::resources::kRcData, pe::ResourceId::Named(name));
    EXPECT_FALSE(bytes.empty()) << "no resource of that name";
    return static_cast<std::size_t>(bytes.data() - exe.data());
}

// The exe with the checksum of its header made right again, as a change made on purpose would.
Bytes WithChecksum(Bytes exe) {
    const std::size_t field = pe::PeReader(exe).Places().Optional + pe::optional::kCheckSum;
    pe::Store32(exe, field, pe::PeChecksum(exe));
    return exe;
}

TEST_F(PatchBuildCrossCheck, PassesThePatcherAsMadeAndRefusesWhatDoesNotReadBackAsWritten) {
    const std::vector<pe::PeResource> written = Written(tables_, slots_);
    const Bytes exe = Made(written);
    EXPECT_EQ(Refusal(exe, written), "(passed)");

    Bytes changed = exe;
    changed[OffsetOf(exe, u"PVOKARDE2HS") + 10] ^= 0xFF;
    EXPECT_EQ(Refusal(changed, written), Refused("its header's checksum is not that of the file"));
    EXPECT_EQ(Refusal(WithChecksum(changed), written),
              Refused("its resource #10/PVOKARDE2HS is not the bytes written"));
    changed = exe;
    changed[OffsetOf(exe, u"EXITCODE")] ^= 0xFF;
    EXPECT_EQ(Refusal(WithChecksum(changed), written), Refused("its resource #10/EXITCODE is not the bytes written"));

    Bytes longer = exe;
    longer.push_back(0);
    EXPECT_EQ(Refusal(WithChecksum(longer), written), Refused("it does not end with its last section"));

    std::vector<pe::PeResource> more = written;
    more.push_back({pe::ResourceId::Numbered(pe::resources::kRcData), pe::ResourceId::Named(u"PVOKAREN1A"),
                    kResourceLanguage, Noise(40, 1)});
    EXPECT_EQ(Refusal(exe, more), Refused("it lacks the resource #10/PVOKAREN1A"));
    EXPECT_EQ(Refusal(Made(more), written), Refused("it carries resources that were never written"));
}

TEST_F(PatchBuildCrossCheck, RefusesTablesAndPackedDataThatDisagreeWithTheRelease) {
    // Written as meant, and read back as written, but not what the release and its tables say.
    const auto refusal = [&](const std::vector<pe::PeResource>& written) { return Refusal(Made(written), written); };
    std::vector<standin::PackedResource> otherSlot = slots_;
    otherSlot[0].Packed = packer::Pack(Noise(3100, 3), packer::ParseMethod::Greedy);
    EXPECT_EQ(refusal(Written(tables_, otherSlot)),
              Refused("the slots of file 10 unpack to 3100 bytes that are not \"10/2/help.chm\"", ":9"));
    otherSlot[0].Packed = {1, 2, 3};
    const std::string broken = refusal(Written(tables_, otherSlot));
    EXPECT_EQ(
        broken.rfind("patch.toml:9: the patcher made is not what was meant: resource PVOKARDE2HS does not unpack (", 0),
        0u)
        << broken;
    EXPECT_EQ(refusal(Written(tables_, {})), Refused("no packed data for resource PVOKARDE2HS of file 10", ":9"));
    std::vector<standin::PackedResource> extraSlot = slots_;
    extraSlot.push_back({"PVOKAREN1A", slots_[0].Packed, slots_[0].UnpackedSize});
    EXPECT_EQ(refusal(Written(tables_, extraSlot)), Refused("the packed data PVOKAREN1A belongs to no selected file"));

    PatchTables otherTables = tables_;
    otherTables.UpdateVersion = "2.2";
    EXPECT_EQ(refusal(Written(otherTables, slots_)),
              Refused("its tables do not read back as the tables they were written from"));
    std::vector<pe::PeResource> unreadable = Written(tables_, slots_);
    unreadable[0].Bytes.resize(unreadable[0].Bytes.size() / 2);
    const std::string why = refusal(unreadable);
    EXPECT_EQ(why.rfind("patch.toml: the patcher made is not what was meant: the patcher would refuse its tables: ", 0),
              0u)
        << why;
}

}  // namespace
}  // namespace patcher::patchkit

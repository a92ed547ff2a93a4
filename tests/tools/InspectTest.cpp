// `patchkit inspect` and `patchkit recognise --patcher` on patcher exes made here from a small release: what is
// read of a patcher, what is found wrong in one, refusals of what is no patcher, and a signature that
// osslsigncode made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/untPatcher.h"
#include "tables/Crc32.h"
#include "tables/PatchTablesFormat.h"
#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/tools/PatchkitCommandLine.h"
#include "tests/tools/TestPatcher.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/InspectionText.h"
#include "tools/patchkit/PatchBuild.h"
#include "tools/patchkit/PatcherInspection.h"
#include "tools/pe/PeReader.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::Noise;
using testing::Outcome;
using testing::OutputFile;
using testing::Patchkit;
using testing::ReadBytes;
using testing::RunProgram;
using testing::WriteFile;

// The German edition's update to 2.2: VokarDe.exe (a row of two slots) and a help file (one slot) selected,
// another help file known but not selected.
const std::string kDescription =
    "ProductIndex = 4\n"
    "ProductLanguage = 3\n"
    "ProductKind = 6\n"
    "UpdateIndex = 8\n"
    "UpdateVersion = \"2.2\"\n"
    "UpdateTitle = [\"Vokarion Języka Niemieckiego\", \"Vokarion Deutsch-Polnisch\"]\n"
    "SelectedFiles = [8, 10]\n"
    "[File.8]\n"
    "Versions = { 1 = \"8/1/VokarDe.exe\", 2 = \"8/2/VokarDe.exe\" }\n"
    "[File.9]\n"
    "Versions = { 1 = \"9/1/VokarD.chm\" }\n"
    "[File.10]\n"
    "Versions = { 1 = \"10/1/Sl_ZewD.chm\", 2 = \"10/2/Sl_ZewD.chm\" }\n";

pe::VersionInfo Version() {
    pe::VersionInfo info;
    info.FileVersion = info.ProductVersion = {2, 2, 0, 0};
    info.StringTables = {{u"041504E2", {{u"ProductName", u"Vokarion Języka Niemieckiego"}, {u"FileVersion", u"2.2"}}}};
    info.Translations = {{0x0415, 1250}};
    return info;
}

// The release, the build's output and the patcher made of them, in a folder of their own.
class Patcher {
  public:
    Patcher() {
        WriteFile(Release() / "8/1/VokarDe.exe", Noise(5000, 81));
        WriteFile(Release() / "8/2/VokarDe.exe", Noise(5200, 82));
        WriteFile(Release() / "9/1/VokarD.chm", Noise(2000, 91));
        WriteFile(Release() / "10/1/Sl_ZewD.chm", Noise(3000, 101));
        WriteFile(Release() / "10/2/Sl_ZewD.chm", Noise(3100, 102));
        BuildOptions greedy;
        greedy.Method = packer::ParseMethod::Greedy;
        BuildFigures figures;
        output_ = testing::WrittenData(MakePatcher(ParsePatchDescription(kDescription, "patch.toml"), Release(),
                                                   ReadBytes(testing::ExitStub()), greedy, {}, figures)
                                           .Exe);
    }

    fs::path Release() const { return dir_.Path() / "release"; }
    const testing::TempDir& Dir() const { return dir_; }

    // The build's output with one resource's bytes replaced, or left out where `bytes` is empty.
    std::vector<OutputFile> Output(const std::string& name = "", const Bytes& bytes = {}) const {
        std::vector<OutputFile> output;
        for (const OutputFile& file : output_) {
            if (file.Name != name + ".packed") {
                output.push_back(file);
            } else if (!bytes.empty()) {
                output.push_back({file.Name, bytes});
            }
        }
        return output;
    }
    const Bytes& Packed(const std::string& name) const {
        return std::find_if(output_.begin(), output_.end(),
                            [&](const OutputFile& f) { return f.Name == name + ".packed"; })
            ->Bytes;
    }

    // The exe, written as `name` in the test's folder.
    Bytes Exe(const std::vector<OutputFile>& output) const { return testing::PatcherExe(output, Version()); }
    std::string Write(const std::string& name, const Bytes& exe) const { return dir_.Write(name, exe); }

  private:
    testing::TempDir dir_;
    std::vector<OutputFile> output_;
};

bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

TEST(Inspect, ReadsWhatAPatcherCarries) {
    const Patcher patcher;
    const Bytes exe = patcher.Exe(patcher.Output());
    const PatcherInspection inspection = InspectPatcher(exe);
    EXPECT_EQ(inspection.FileBytes, exe.size());
    EXPECT_FALSE(inspection.Is64Bit);
    EXPECT_TRUE(inspection.Tables == ReadPatchTables(patcher.Packed("PATCHTABLES")));
    ASSERT_EQ(inspection.Contents.size(), 2U);
    const ContentCheck& exeFile = inspection.Contents[0];
    EXPECT_EQ(exeFile.FileIndex, 8);
    ASSERT_EQ(exeFile.Slots.size(), 2U);
    EXPECT_EQ(exeFile.Slots[0].Name, "PVOKARDE2A");
    EXPECT_EQ(exeFile.Slots[0].PackedBytes, patcher.Packed("PVOKARDE2A").size());
    EXPECT_EQ(exeFile.Slots[0].UnpackedBytes + exeFile.Slots[1].UnpackedBytes, 5200U);
    EXPECT_TRUE(exeFile.MatchesDigest);
    EXPECT_EQ(inspection.Contents[1].FileIndex, 10);
    EXPECT_EQ(inspection.Contents[1].Slots.size(), 1U);
    EXPECT_TRUE(inspection.Contents[1].MatchesDigest);
    ASSERT_EQ(inspection.OtherData.size(), 1U);  // the stub's own
    EXPECT_EQ(inspection.OtherData[0].Name, "EXITCODE");
    EXPECT_TRUE(inspection.HasVersionInfo);
    EXPECT_TRUE(inspection.Version == Version());
    EXPECT_FALSE(inspection.Signature.Present);
    EXPECT_TRUE(inspection.Faults().empty());

    const std::string text = InspectionText(inspection, "VokarDe-2.2-patch.exe");
    for (const std::string& line : {
             "\"VokarDe-2.2-patch.exe\": a patcher of " + std::to_string(exe.size()) +
                 " bytes, a 32-bit Windows program",
             std::string("product     index 4 (registry key SOFTWARE\\Qordex\\DeuVokar2), language 3 (German), kind 6 "
                         "(its record under the product key, English flag offered, help shortcuts)"),
             std::string("update      \"Vokarion Języka Niemieckiego\" / \"Vokarion Deutsch-Polnisch\", version 2.2 "
                         "(file 8's update)"),
             std::string("file 8      VokarDe.exe, 2 known builds; brings build 2"),
             std::string("  build 1   5000 bytes"),
             std::string("  build 2   5200 bytes, brought"),
             "  together  5200 bytes, CRC-32 " + Hex8(Crc32(Noise(5200, 82))) + ": as its digest says",
             "  PVOKARDE2HS " + std::to_string(patcher.Packed("PVOKARDE2HS").size()) +
                 " bytes packed, unpacks to 3100 bytes",
             std::string("other files 9: known builds, not selected"),
             std::string("other data  EXITCODE, 4 bytes"),
             std::string("version     file 2.2.0.0, product 2.2.0.0, flags 0x0 of 0x3F, OS 0x40004, type 1, subtype 0"),
             std::string("  041504E2  ProductName = Vokarion Języka Niemieckiego"),
             std::string("  languages 0415 in code page 1250"),
             std::string("signature   none"),
         }) {
        EXPECT_TRUE(HasLine(text, line)) << line << "\nin\n" << text;
    }
}

TEST(Inspect, TellsEveryPartThatDoesNotHoldTogether) {
    const Patcher patcher;
    const auto faults = [&](const std::vector<OutputFile>& output) {
        return InspectPatcher(patcher.Exe(output)).Faults();
    };
    EXPECT_EQ(faults(patcher.Output("PVOKARDE2B")), std::vector<std::string>{"its resource PVOKARDE2B is missing"});
    const std::vector<std::string> broken = faults(patcher.Output("PVOKARDE2B", Bytes(40, 0xFF)));
    ASSERT_EQ(broken.size(), 1U);
    EXPECT_EQ(broken[0].rfind("its resource PVOKARDE2B does not unpack (", 0), 0U) << broken[0];
    // Slots that unpack, to other bytes than the digest's: the first half of file 8's newest build.
    const Bytes newest = Noise(5200, 82);
    const Bytes half(newest.begin(), newest.begin() + 2600);
    const std::vector<std::string> other = faults(patcher.Output("PVOKARDE2HS", patcher.Packed("PVOKARDE2A")));
    ASSERT_EQ(other.size(), 1U);
    EXPECT_EQ(other[0], "file 10's resources unpack to 2600 bytes with CRC-32 " + Hex8(Crc32(half)) +
                            ", not to the 3100 bytes with CRC-32 " + Hex8(Crc32(Noise(3100, 102))) + " of its digest");

    // Version information that breaks its layout.
    Bytes exe = patcher.Exe(patcher.Output());
    const pe::PeReader reader(exe);
    for (const pe::PeReader::Resource& resource : reader.Resources()) {
        if (resource.Type == pe::ResourceId::Numbered(pe::resources::kVersion)) {
            exe[static_cast<std::size_t>(resource.Bytes.data() - exe.data())] = 0xFF;  // its length
        }
    }
    const std::vector<std::string> version = InspectPatcher(exe).Faults();
    ASSERT_EQ(version.size(), 1U);
    EXPECT_EQ(version[0].rfind("not well-formed version information: ", 0), 0U) << version[0];
}

// Cut anywhere, a patcher is refused or inspected, and nothing is read outside it (the sanitizers watch).
TEST(Inspect, RefusesOrReadsAPatcherCutAnywhere) {
    const Patcher patcher;
    const Bytes exe = patcher.Exe(patcher.Output());
    int refused = 0;
    for (std::size_t size = 0; size < exe.size(); size += 1 + size / 16) {
        const Bytes cut(exe.begin(), exe.begin() + static_cast<std::ptrdiff_t>(size));
        try {
            const PatcherInspection inspection = InspectPatcher(cut);
            EXPECT_EQ(inspection.FileBytes, size);
            EXPECT_FALSE(InspectionText(inspection, "cut.exe").empty());
        } catch (const NotAPatcher&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

TEST(Inspect, RefusesWhatIsNoPatcherInOneLine) {
    const Patcher patcher;
    const fs::path scratch = patcher.Dir().Path();
    const auto refusal = [&](const std::string& path) {
        const Outcome outcome = RunProgram(Patchkit({"inspect", path}), scratch);
        EXPECT_EQ(outcome.ExitCode, 1) << path;
        EXPECT_EQ(outcome.Output, "") << path;
        EXPECT_EQ(std::count(outcome.Errors.begin(), outcome.Errors.end(), '\n'), 1) << outcome.Errors;
        return outcome.Errors;
    };
    const std::string text = patcher.Write("notes.txt", Bytes{'M', 'Z', 'n', 'o'});
    EXPECT_EQ(refusal(text),
              "patchkit inspect: \"" + text + "\" is no patcher: not a well-formed PE file: no MZ header\n");
    const std::string stub = patcher.Write("stub.exe", ReadBytes(testing::ExitStub()));
    EXPECT_EQ(refusal(stub), "patchkit inspect: \"" + stub +
                                 "\" is no patcher: it carries no patch tables (no data resource PATCHTABLES)\n");
    Bytes tables = patcher.Packed("PATCHTABLES");
    tables.back() ^= 1;
    const std::string damaged = patcher.Write("damaged.exe", patcher.Exe(patcher.Output("PATCHTABLES", tables)));
    EXPECT_EQ(refusal(damaged).rfind("patchkit inspect: \"" + damaged + "\" is no patcher: the patch tables ", 0), 0U);
    EXPECT_EQ(refusal(scratch.string()).rfind("patchkit inspect: \"" + scratch.string() + "\" cannot be read (", 0),
              0U);
}

// A throwaway certificate, the exe signed by osslsigncode with each digest, then changed by one byte.
TEST(Inspect, NamesTheSignerAndTellsWhetherTheSignedDigestIsTheFiles) {
    const Patcher patcher;
    const fs::path dir = patcher.Dir().Path();
    const std::string key = (dir / "key.pem").string();
    const std::string cert = (dir / "cert.pem").string();
    ASSERT_EQ(
        RunProgram({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-subj", "/CN=Vokarion test signing", "-days", "2", "-addext", "extendedKeyUsage=codeSigning"},
                   dir)
            .ExitCode,
        0);
    const std::string unsignedExe = patcher.Write("unsigned.exe", patcher.Exe(patcher.Output()));
    for (const std::string digest : {"sha256", "sha1"}) {
        const std::string signedExe = (dir / (digest + ".exe")).string();
        const Outcome signing = RunProgram({"/usr/bin/osslsigncode", "sign", "-certs", cert, "-key", key, "-h", digest,
                                            "-in", unsignedExe, "-out", signedExe},
                                           dir);
        ASSERT_EQ(signing.ExitCode, 0) << signing.Output << signing.Errors;
        const std::string algorithm = digest == "sha256" ? "SHA-256" : "SHA-1";

        const Outcome inspected = RunProgram(Patchkit({"inspect", signedExe}), dir);
        EXPECT_EQ(inspected.ExitCode, 0) << inspected.Errors;
        EXPECT_TRUE(HasLine(inspected.Output, "signature   " + algorithm +
                                                  ", signed by \"Vokarion test signing\": the file's digest is the "
                                                  "one signed"))
            << inspected.Output;

        // One byte of the stub's own data changed: the exe is still a patcher whose slots unpack.
        Bytes changed = ReadBytes(signedExe);
        const pe::PeReader reader(changed);
        std::size_t exitCode = 0;
        for (const pe::PeReader::Resource& resource : reader.Resources()) {
            if (resource.Name == pe::ResourceId::Named(u"EXITCODE")) {
                exitCode = static_cast<std::size_t>(resource.Bytes.data() - changed.data());
            }
        }
        ASSERT_NE(exitCode, 0U);
        changed[exitCode] ^= 0x01;
        const std::string changedExe = patcher.Write(digest + "-changed.exe", changed);
        const Outcome refused = RunProgram(Patchkit({"inspect", changedExe}), dir);
        EXPECT_EQ(refused.ExitCode, 1);
        EXPECT_TRUE(HasLine(refused.Output, "signature   " + algorithm +
                                                ", signed by \"Vokarion test signing\": the file's digest is NOT the "
                                                "one signed"))
            << refused.Output;
        EXPECT_EQ(refused.Errors, "patchkit inspect: \"" + changedExe +
                                      "\" does not hold together: the file's digest is not the one signed: it was "
                                      "changed after it was signed\n");
    }
}

TEST(Inspect, RecognisesByThePatchersTables) {
    const Patcher patcher;
    const fs::path dir = patcher.Dir().Path();
    const std::string exe = patcher.Write("patcher.exe", patcher.Exe(patcher.Output()));
    const auto recognised = [&](const std::string& index, const fs::path& file) {
        const Outcome outcome = RunProgram(Patchkit({"recognise", "--patcher", exe, index, file.string()}), dir);
        EXPECT_EQ(outcome.ExitCode, 0) << outcome.Errors;
        return outcome.Output;
    };
    EXPECT_EQ(recognised("10", patcher.Release() / "10/1/Sl_ZewD.chm"), "OutOfDate 1\n");
    EXPECT_EQ(recognised("10", patcher.Release() / "10/2/Sl_ZewD.chm"), "Current 2\n");
    EXPECT_EQ(recognised("8", patcher.Release() / "8/1/VokarDe.exe"), "OutOfDate 1\n");
    EXPECT_EQ(recognised("9", patcher.Release() / "9/1/VokarD.chm"), "Current 1\n");
    EXPECT_EQ(recognised("1", patcher.Release() / "9/1/VokarD.chm"), "NotRecognised\n");

    const std::string stub = patcher.Write("stub.exe", ReadBytes(testing::ExitStub()));
    const Outcome refused = RunProgram(
        Patchkit({"recognise", "--patcher", stub, "8", (patcher.Release() / "8/1/VokarDe.exe").string()}), dir);
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(refused.Errors, "patchkit recognise: \"" + stub +
                                  "\" is no patcher: it carries no patch tables (no data resource PATCHTABLES)\n");
    EXPECT_EQ(RunProgram(Patchkit({"recognise", "--patcher"}), dir).ExitCode, 2);
}

}  // namespace
}  // namespace patcher::patchkit

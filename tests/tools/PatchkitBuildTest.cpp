// `patchkit build` at the command line: what it prints, the stub that it writes the patcher into, and the
// signature that it puts on the patcher.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tables/PatchTables.h"
#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/tools/PatchkitCommandLine.h"
#include "tests/tools/TinyRelease.h"
#include "tests/tools/WrittenPatcher.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::patchkit {
namespace {

namespace fs = std::filesystem;
using testing::ExitStub;
using testing::kTinyPatcher;
using testing::Outcome;
using testing::Patchkit;
using testing::ReadBytes;
using testing::ReadText;
using testing::Refusals;
using testing::RunProgram;
using testing::WriteFile;
using testing::WrittenPatcher;

// A build command with these options last, before its description, release and OUTDIR, which is `out`.
std::vector<std::string> BuildWith(std::vector<std::string> command,
                                   const std::vector<std::string>& options,
                                   const fs::path& out) {
    command.back() = out.string();
    command.insert(command.end() - 3, options.begin(), options.end());
    return command;
}

// The figures of each step, and last, alone on its line, the patcher's absolute path, also where OUTDIR is
// given relative to the folder that patchkit runs in; a refusal is one line that names the description's line.
TEST_F(Refusals, BuildPrintsItsFiguresAndLastThePatchersPath) {
    std::vector<std::string> inDir = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", Dir().string()};
    const std::vector<std::string> build = Build(Description(), "relative/out");
    inDir.insert(inDir.end(), build.begin(), build.end());
    const Outcome built = Succeeds(inDir);
    for (const char* step :
         {"reading", "tables", "verification", "packing", "assembling", "checking", "writing", "PVOKARDE2HS"}) {
        EXPECT_NE(built.Output.find(step), std::string::npos) << step << " in\n" << built.Output;
    }
    const fs::path written = Dir() / "relative/out" / kTinyPatcher;
    EXPECT_TRUE(built.Output.ends_with("\n" + written.string() + "\n")) << built.Output;
    EXPECT_TRUE(ReadBytes(written) == ReadBytes(Patcher()));

    fs::remove(Release() / "10/2/help.chm");
    ExpectRefused(Build(Description()), "patchkit build: " + Description() +
                                            ":9: file 10 version 2: \"10/2/help.chm\" cannot be read (No such file or "
                                            "directory)\n");
    EXPECT_EQ(RunProgram(Patchkit({"build", Description()}), Dir()).ExitCode, 2);  // usage
}

// Without --stub, a build takes the stub of its target (i686 unless --target says x86_64) from beside patchkit
// itself, wherever patchkit lies; a target whose stub is neither there nor installed is refused naming both
// places.
TEST_F(Refusals, TheStubOfTheTargetIsTheOneBesidePatchkit) {
    const fs::path kit = Dir() / "kit";
    fs::create_directories(kit);
    fs::copy_file(PATCHER_HOST_PATCHKIT, kit / "patchkit");
    fs::copy_file(ExitStub("i686"), kit / "patcher-stub-i686.exe");
    fs::copy_file(ExitStub("x86_64"), kit / "patcher-stub-x86_64.exe");
    const auto build = [&](std::vector<std::string> options, const fs::path& out) {
        std::vector<std::string> command = {(kit / "patchkit").string(), "build", "--greedy"};
        command.insert(command.end(), options.begin(), options.end());
        command.insert(command.end(), {Description(), Release().string(), out.string()});
        return command;
    };

    Succeeds(build({"--target", "x86_64"}, Dir() / "x86_64"));
    EXPECT_TRUE(WrittenPatcher(Dir() / "x86_64" / kTinyPatcher).Reader().Is64Bit());
    Succeeds(build({}, Dir() / "i686"));
    EXPECT_TRUE(ReadBytes(Dir() / "i686" / kTinyPatcher) == ReadBytes(Patcher()));

    fs::remove(kit / "patcher-stub-i686.exe");
    const Outcome missing = RunProgram(build({"--target", "i686"}, Dir() / "missing"), Dir());
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_EQ(missing.Errors, "patchkit build: patchkit's patcher-stub-i686.exe is neither beside it nor in \"" +
                                  (Dir() / "lib" / "patchkit").string() + "\": give --stub\n");
    EXPECT_FALSE(fs::exists(Dir() / "missing"));

    const Outcome unknown = RunProgram(build({"--target", "arm64"}, Dir() / "arm64"), Dir());
    EXPECT_EQ(unknown.ExitCode, 2);
    EXPECT_EQ(unknown.Errors.rfind("patchkit build: --target takes i686 or x86_64, not arm64\n", 0), 0u)
        << unknown.Errors;
}

// A stub given that cannot be read is refused naming it, a FIFO without waiting on it.
TEST_F(Refusals, AStubThatCannotBeReadIsRefusedNamingIt) {
    const fs::path missing = Dir() / "missing.exe";
    ExpectRefused(BuildWith(Build(Description()), {"--stub", missing.string()}, Dir() / "new"),
                  "patchkit build: the stub \"" + missing.string() + "\" cannot be read (No such file or directory)\n");
    const fs::path fifo = Dir() / "fifo.exe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ExpectRefused(BuildWith(Build(Description()), {"--stub", fifo.string()}, Dir() / "new"),
                  "patchkit build: the stub \"" + fifo.string() + "\" cannot be read (not a regular file)\n");
    ExpectRefused(BuildWith(Build(Description()), {"--stub", Release().string()}, Dir() / "new"),
                  "patchkit build: the stub \"" + Release().string() + "\" cannot be read (Is a directory)\n");
    EXPECT_FALSE(fs::exists(Dir() / "new"));
}

// A throwaway code-signing certificate and its key, made by openssl in a folder of their own.
struct Certificate {
    fs::path Cert;
    fs::path Key;
};

Certificate MakeCertificate(const fs::path& folder) {
    fs::create_directories(folder);
    const Certificate made{folder / "cert.pem", folder / "key.pem"};
    const Outcome outcome =
        RunProgram({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", made.Key.string(),
                    "-out", made.Cert.string(), "-subj", "/CN=Vokarion test signing", "-days", "2", "-addext",
                    "extendedKeyUsage=codeSigning"},
                   folder);
    EXPECT_EQ(outcome.ExitCode, 0) << outcome.Errors;
    return made;
}

// osslsigncode's verification of an exe's signature against the certificate: its exit code.
int Verify(const fs::path& exe, const Certificate& certificate, const fs::path& scratch) {
    return RunProgram({"/usr/bin/osslsigncode", "verify", "-CAfile", certificate.Cert.string(), "-in", exe.string()},
                      scratch)
        .ExitCode;
}

// A stub that resources cannot be written into, signed or with data after its last section, is refused in one
// line, and nothing is written.
TEST_F(Refusals, AStubThatResourcesCannotBeWrittenIntoIsRefused) {
    const fs::path appended = Dir() / "appended.exe";
    WriteFile(appended, ReadText(ExitStub()) + "bytes after the last section");
    ExpectRefused(BuildWith(Build(Description()), {"--stub", appended.string()}, Dir() / "new"),
                  "patchkit build: the patcher cannot be made: resources cannot be written into this program: it "
                  "carries data after its last section\n",
                  {appended});

    const Certificate certificate = MakeCertificate(Dir() / "certificate");
    const fs::path signedStub = Dir() / "signed.exe";
    const Outcome signing =
        RunProgram({"/usr/bin/osslsigncode", "sign", "-certs", certificate.Cert.string(), "-key",
                    certificate.Key.string(), "-in", ExitStub().string(), "-out", signedStub.string()},
                   Dir());
    ASSERT_EQ(signing.ExitCode, 0) << signing.Output;
    ExpectRefused(BuildWith(Build(Description()), {"--stub", signedStub.string()}, Dir() / "new"),
                  "patchkit build: the patcher cannot be made: resources cannot be written into this program: it is "
                  "signed (its resources are written before it is signed)\n",
                  {signedStub});
    EXPECT_FALSE(fs::exists(Dir() / "new"));
}

// --sign signs the patcher with the certificate given, which osslsigncode then verifies it against, and keeps
// every resource as it was made; a key that is not the certificate's refuses the build, and nothing is written.
TEST_F(Refusals, SignSignsThePatcherWithTheCertificateGiven) {
    const Certificate certificate = MakeCertificate(Dir() / "certificate");
    const Certificate other = MakeCertificate(Dir() / "other");
    const fs::path scratch = Dir() / "scratch";
    const std::vector<std::string> sign = {"--sign", certificate.Cert.string(), certificate.Key.string()};
    Succeeds(BuildWith(Build(Description()), sign, Dir() / "signed"));
    const fs::path signedExe = Dir() / "signed" / kTinyPatcher;
    EXPECT_EQ(Verify(signedExe, certificate, scratch), 0);
    EXPECT_NE(Verify(signedExe, other, scratch), 0) << "verified against another certificate";
    EXPECT_NE(Verify(Patcher(), certificate, scratch), 0) << "the unsigned patcher verifies";

    const WrittenPatcher signedPatcher(signedExe);
    const WrittenPatcher unsignedPatcher(Patcher());
    EXPECT_NE(signedPatcher.Reader().Directory(pe::kCertificateTable).Size, 0u);
    const std::vector<pe::PeReader::Resource> made = unsignedPatcher.Reader().Resources();
    const std::vector<pe::PeReader::Resource> kept = signedPatcher.Reader().Resources();
    ASSERT_EQ(kept.size(), made.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        EXPECT_TRUE(kept[i].Type == made[i].Type && kept[i].Name == made[i].Name &&
                    std::equal(kept[i].Bytes.begin(), kept[i].Bytes.end(), made[i].Bytes.begin(), made[i].Bytes.end()))
            << made[i].Name.Text();
    }

    const std::vector<std::string> mismatched = {"--sign", certificate.Cert.string(), other.Key.string()};
    ExpectRefused(BuildWith(Build(Description()), mismatched, Out()),
                  "patchkit build: osslsigncode could not sign the patcher: ", {certificate.Cert, other.Key});
    ExpectRefused(BuildWith(Build(Description()), mismatched, Dir() / "new"), "osslsigncode could not sign");
    EXPECT_FALSE(fs::exists(Dir() / "new"));
}

// The build is told which patchers are out there already: a new build that the one shipped would take for its
// build 1 (build 1's bytes, changed where none of its samples lies) is refused, naming that patcher; the same
// release without --shipped builds.
TEST_F(Refusals, ABuildThatAShippedPatcherWouldUndoIsRefused) {
    const KnownVersion first = *WrittenPatcher(Patcher()).Tables().FindVersion(10, 1);
    std::vector<std::uint8_t> third = ReadBytes(Release() / "10/1/help.chm");
    for (std::size_t at = 1; at < third.size(); at += 97) {
        if (std::none_of(first.Samples.begin(), first.Samples.end(),
                         [&](const SignatureEntry& sample) { return static_cast<std::size_t>(sample.Offset) == at; })) {
            third[at] ^= 0x5A;
        }
    }
    WriteFile(Release() / "10/3/help.chm", third);
    const std::string next = Describe("next.toml", testing::kTinyDescription + "Versions.3 = \"10/3/help.chm\"\n");
    const fs::path shipped = Dir() / "shipped.exe";
    fs::copy_file(Patcher(), shipped);
    ExpectRefused(BuildWith(Build(next), {"--shipped", shipped.string()}, Out()),
                  next + ":11: file 10 version 3: \"10/3/help.chm\" is no build that the shipped patcher \"" +
                      shipped.string() + "\" knows, yet it would take it for its version 1",
                  {shipped});
    Succeeds(Build(next, Dir() / "unguarded"));
}

}  // namespace
}  // namespace patcher::patchkit

// What the maintainers rely on when they make a patcher: it is named after its update, and a signed exe still
// runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/PatcherSession.h"
#include "tests/e2e/WinePrefix.h"
#include "tests/support/TempDir.h"

namespace patcher::e2e {
namespace {

namespace fs = std::filesystem;
using C = MainControl;

// A patcher with an Authenticode signature still runs and updates: the signature changes the file's checksum
// and adds a certificate after its sections. That `patchkit build --sign` signs so that the signature verifies
// is tested with the tool; here a throwaway certificate signs a copy of the exe as osslsigncode signs any.
TEST(PatchBuilds, ASignedPatcherStillUpdates) {
    testing::TempDir dir;
    const fs::path log = dir.Path() / "signing.log";
    const fs::path key = dir.Path() / "key.pem";
    const fs::path cert = dir.Path() / "cert.pem";
    ASSERT_EQ(RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key.string(), "-out",
                          cert.string(), "-subj", "/CN=Vokarion test signing", "-days", "2", "-addext",
                          "extendedKeyUsage=codeSigning"},
                         {}, log),
              0);
    const fs::path signedExe = dir.Path() / PatcherExe().filename();
    ASSERT_EQ(RunProgram({"osslsigncode", "sign", "-certs", cert.string(), "-key", key.string(), "-h", "sha256", "-in",
                          PatcherExe().string(), "-out", signedExe.string()},
                         {}, log),
              0);

    Installation installation("C.UTF-8", signedExe);
    installation.Put("VokarEn.exe", Standin(1, 10));
    installation.Record("hkcu", 2, installation.WindowsFolder());
    DriverScript script;
    script.Start(installation.Patcher())
        .PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kPolish, kSummaryUpdated))
        .PostClick(C::btnZamknij)
        .Exited();
    const DriverReport report = installation.Run(script);
    EXPECT_TRUE(report.Completed()) << report.Text;
    EXPECT_TRUE(ReadBytes(installation.File("VokarEn.exe")) == Standin(1, 11));
}

}  // namespace
}  // namespace patcher::e2e

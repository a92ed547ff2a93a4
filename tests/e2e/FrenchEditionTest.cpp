// The French edition's patcher (tests/e2e/VokarFr-1.1.toml) under Wine and a French user's locale: its window
// starts in French, whose texts are the Polish wording drawn in fonts of character set 0, and reads every
// Polish letter of them as the letter it is.
#include <gtest/gtest.h>

#include "app/ExitCodes.h"
#include "engine/VersionTables.h"
#include "tests/e2e/ExpectedTexts.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {
namespace {

using C = MainControl;

constexpr int kProductIndex = 1;  // its record: SOFTWARE\Qordex\FrVokarion, scrambled with method 1
constexpr int kFile = 4;          // VokarFr.exe, which the update brings

TEST(FrenchEdition, ShowsItsPolishWordingWithThePolishLettersAndUpdates) {
    const PatchTables& tables = TablesOf("VokarFr-1.1");
    Installation installation("fr_FR.UTF-8", PatcherExe("VokarFr-1.1"));
    installation.Put(FileName(kFile), Standin(kFile, 1));
    installation.Record("hkcu", kProductIndex, installation.WindowsFolder());

    DriverScript script;
    script.Start(installation.Patcher());
    // Every text of the window in language 2, as the catalogue's Windows-1250 bytes read.
    ExpectWindowTexts(script, kFrench, tables)
        .Expect(C::btnFrancuski, "visible enabled up")
        .PostClick(C::btnUpdate)
        .ExpectText(C::lblMain, Message(kFrench, kSummaryUpdated))
        .PostClick(C::btnZamknij)
        .Exited(kExitAllCurrent);
    const DriverReport report = installation.Run(script);
    ASSERT_TRUE(report.Completed()) << report.Text;
    EXPECT_TRUE(ReadBytes(installation.File(FileName(kFile))) == Standin(kFile, tables.NewestVersion(kFile)));

    // The words that a reading in Windows-1252 would garble ("J\u00EAzyka", "Je\u00BFeli", "Zako\u00F1cz").
    const std::string caption = Utf8FromWindows1250(Title(kFrench, tables));
    EXPECT_NE(caption.find("J\xC4\x99zyka"), std::string::npos) << caption;
    EXPECT_NE(Utf8FromWindows1250(Introduction(kFrench, tables))
                  .find("Je\xC5\xBC"
                        "eli"),
              std::string::npos);
    EXPECT_EQ(Utf8FromWindows1250(Message(kFrench, kMessageFinishButton)),
              "Zako\xC5\x84"
              "cz");
}

}  // namespace
}  // namespace patcher::e2e

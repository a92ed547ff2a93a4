#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/CommandLineTexts.h"

namespace patcher {
namespace {

using Reason = CommandLineError::Reason;

ProductProfile Product(LanguageCode language, std::int32_t kind) {
    ProductProfile profile;
    SetProductIdentity(profile);
    CompleteProfile(profile);
    profile.ProductLanguage = language;
    profile.ProductKind = kind;
    return profile;
}

TEST(SplitCommandLine, QuotesGroupAndBackslashesStay) {
    using Arguments = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine<char>(R"("C:\Pobrane\VokarEn patch.exe" /S  /DIR="C:\Program Files\Vokarion\")"),
              (Arguments{R"(C:\Pobrane\VokarEn patch.exe)", "/S", R"(/DIR=C:\Program Files\Vokarion\)"}));
    EXPECT_EQ(SplitCommandLine<char>("patch.exe\t\"/LOG=C:\\log a.txt\" -lang=en "),
              (Arguments{"patch.exe", "/LOG=C:\\log a.txt", "-lang=en"}));
    EXPECT_EQ(SplitCommandLine<wchar_t>(LR"(p.exe "" /?)"), (std::vector<std::wstring>{L"p.exe", L"", L"/?"}));
    EXPECT_TRUE(SplitCommandLine<char>("   ").empty());
}

// Command lines of the English product (kind 1) and what they ask for; the first argument is the program.
TEST(ParseCommandLine, UnderstandsEveryOptionInAnyCaseWithEitherPrefix) {
    const ProductProfile english = Product(kEnglish, 1);
    EXPECT_FALSE(ParseCommandLine({"p.exe"}, english).Silent);

    const CommandLineOptions all = ParseCommandLine(
        {"p.exe", "/s", R"(-Dir=\\serwer\programy\Vokarion)", "/LANG=en", "-log=C:\\Logi\\vokarion.log"}, english);
    EXPECT_TRUE(all.Silent);
    EXPECT_FALSE(all.Help);
    EXPECT_EQ(all.InstallDir, R"(\\serwer\programy\Vokarion)");
    EXPECT_EQ(all.Language, kEnglish);
    EXPECT_EQ(all.LogFile, "C:\\Logi\\vokarion.log");
    // A relative log is where the administrator starts the patcher from.
    EXPECT_EQ(ParseCommandLine({"p.exe", "/LOG=vokarion.log"}, english).LogFile, "vokarion.log");

    EXPECT_TRUE(ParseCommandLine({"p.exe", "/SILENT"}, english).Silent);
    EXPECT_TRUE(ParseCommandLine({"p.exe", "-?"}, english).Help);
    EXPECT_TRUE(ParseCommandLine({"p.exe", "/Help"}, english).Help);
    EXPECT_EQ(ParseCommandLine({"p.exe", "/LANG=PL"}, english).Language, kPolish);
    EXPECT_EQ(ParseCommandLine({"p.exe", "/DIR=D:/Vokarion"}, english).InstallDir, "D:/Vokarion");
}

TEST(ParseCommandLine, RefusesWhatItDoesNotUnderstandAndKeepsTheRest) {
    const ProductProfile english = Product(kEnglish, 1);
    struct Case {
        std::vector<std::string> Arguments;
        Reason Why;
        std::string Argument;
    };
    for (const Case& c : std::vector<Case>{
             {{"p.exe", "/X"}, Reason::UnknownOption, "/X"},
             {{"p.exe", "/SILENTLY"}, Reason::UnknownOption, "/SILENTLY"},
             {{"p.exe", "/"}, Reason::UnknownOption, "/"},
             {{"p.exe", "S"}, Reason::NotAnOption, "S"},
             {{"p.exe", ""}, Reason::NotAnOption, ""},
             {{"p.exe", "/DIR"}, Reason::MissingValue, "/DIR"},
             {{"p.exe", "/DIR="}, Reason::MissingValue, "/DIR="},
             {{"p.exe", "/LOG"}, Reason::MissingValue, "/LOG"},
             {{"p.exe", "/S=1"}, Reason::UnexpectedValue, "/S=1"},
             {{"p.exe", "/?=x"}, Reason::UnexpectedValue, "/?=x"},
             {{"p.exe", "/S", "-s"}, Reason::RepeatedOption, "-s"},
             {{"p.exe", "/LANG=PL", "/LANG=EN"}, Reason::RepeatedOption, "/LANG=EN"},
             {{"p.exe", "/DIR=Vokarion"}, Reason::RelativeFolder, "/DIR=Vokarion"},
             {{"p.exe", "/DIR=.\\Vokarion"}, Reason::RelativeFolder, "/DIR=.\\Vokarion"},
             {{"p.exe", "/DIR=C:Vokarion"}, Reason::RelativeFolder, "/DIR=C:Vokarion"},
             {{"p.exe", "/DIR=\\Vokarion"}, Reason::RelativeFolder, "/DIR=\\Vokarion"},
             {{"p.exe", "/LANG=DE"}, Reason::LanguageNotOffered, "/LANG=DE"},
             {{"p.exe", "/LANG=english"}, Reason::LanguageNotOffered, "/LANG=english"},
         }) {
        SCOPED_TRACE(c.Argument);
        try {
            ParseCommandLine(c.Arguments, english);
            ADD_FAILURE() << "understood";
        } catch (const CommandLineError& error) {
            EXPECT_EQ(error.Why(), c.Why);
            EXPECT_EQ(error.Argument(), c.Argument);
        }
    }

    // The options around the fault are still known: a silent run that cannot start says why in its log.
    try {
        ParseCommandLine({"p.exe", "/S", "/BOGUS", "/LOG=C:\\v.log", "/DIR=x"}, english);
        ADD_FAILURE() << "understood";
    } catch (const CommandLineError& error) {
        EXPECT_EQ(error.Argument(), "/BOGUS");
        EXPECT_TRUE(error.Understood().Silent);
        EXPECT_EQ(error.Understood().LogFile, "C:\\v.log");
        EXPECT_FALSE(error.Understood().InstallDir.has_value());
        const ByteString text = CommandLineErrorText(error);
        EXPECT_NE(text.find("Nieznana opcja: /BOGUS\r\n"), ByteString::npos) << text;
        EXPECT_NE(text.find("Unknown option: /BOGUS"), ByteString::npos) << text;
    }
}

// Only a language whose flag the window shows: the product's foreign one, and not English where the kind hides
// its flag.
TEST(ParseCommandLine, TakesOnlyALanguageThatTheWindowOffers) {
    struct Case {
        LanguageCode Product;
        std::int32_t Kind;
        std::string Offered;
    };
    for (const Case& c : {Case{kEnglish, 1, "PL|EN"}, Case{kEnglish, 4, "PL"}, Case{kEnglish, 5, "PL"},
                          Case{kGerman, 6, "PL|DE"}, Case{kGerman, 4, "PL|DE"}, Case{kFrench, 1, "PL|FR"}}) {
        const ProductProfile profile = Product(c.Product, c.Kind);
        EXPECT_EQ(OfferedLanguageNames(profile), c.Offered);
        for (const char* name : {"PL", "EN", "DE", "FR"}) {
            const std::string list = std::string("|").append(c.Offered).append("|");
            const bool offered = list.find(std::string("|").append(name).append("|")) != std::string::npos;
            bool taken = true;
            try {
                ParseCommandLine({"p.exe", "/LANG=" + std::string(name)}, profile);
            } catch (const CommandLineError&) {
                taken = false;
            }
            EXPECT_EQ(taken, offered) << name << " for product language " << int(c.Product) << " kind " << c.Kind;
        }
    }
    // The help lists the same, and shortens nothing it needs.
    const ByteString help = CommandLineHelp(Product(kGerman, 6), "VokarDe-2.1-patch.exe");
    EXPECT_NE(help.find("VokarDe-2.1-patch.exe [/S] [/DIR=FOLDER] [/LANG=PL|DE] [/LOG=FILE] [/?]"), ByteString::npos);
}

TEST(CommandLineErrorText, ShortensAHugeArgument) {
    const CommandLineError error(Reason::UnknownOption, "/" + std::string(10'000'000, 'x'));
    EXPECT_LT(CommandLineErrorText(error).size(), 600u);
}

}  // namespace
}  // namespace patcher

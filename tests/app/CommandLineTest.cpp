#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>

#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/CommandLineTexts.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

using Reason = CommandLineError::Reason;

// The arguments as the system's code page carries them all.
CommandLineOptions Parse(const std::vector<std::string>& arguments, const ProductProfile& profile) {
    std::vector<CommandLineArgument> readable;
    for (const std::string& argument : arguments) {
        readable.push_back({argument, true});
    }
    return ParseCommandLine(readable, profile);
}

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
    EXPECT_FALSE(Parse({"p.exe"}, english).Silent);

    const CommandLineOptions all = Parse(
        {"p.exe", "/s", R"(-Dir=\\serwer\programy\Vokarion)", "/LANG=en", "-log=C:\\Logi\\vokarion.log"}, english);
    EXPECT_TRUE(all.Silent);
    EXPECT_FALSE(all.Help);
    EXPECT_EQ(all.InstallDir, R"(\\serwer\programy\Vokarion)");
    EXPECT_EQ(all.Language, kEnglish);
    EXPECT_EQ(all.LogFile, "C:\\Logi\\vokarion.log");
    // A relative log is where the administrator starts the patcher from.
    EXPECT_EQ(Parse({"p.exe", "/LOG=vokarion.log"}, english).LogFile, "vokarion.log");

    EXPECT_TRUE(Parse({"p.exe", "/SILENT"}, english).Silent);
    EXPECT_TRUE(Parse({"p.exe", "-?"}, english).Help);
    EXPECT_TRUE(Parse({"p.exe", "/Help"}, english).Help);
    EXPECT_EQ(Parse({"p.exe", "/LANG=PL"}, english).Language, kPolish);
    EXPECT_EQ(Parse({"p.exe", "/DIR=D:/Vokarion"}, english).InstallDir, "D:\\Vokarion");
    EXPECT_TRUE(Parse({"p.exe", "/Check"}, english).Check);
    EXPECT_EQ(Parse({"p.exe", "/WAIT=0"}, english).WaitSeconds, 0);
    EXPECT_EQ(Parse({"p.exe", "-wait=600"}, english).WaitSeconds, 600);
    EXPECT_EQ(Parse({"p.exe", "/WAIT=030"}, english).WaitSeconds, 30);
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
             {{"p.exe", "/DIR=\\\\server"}, Reason::RelativeFolder, "/DIR=\\\\server"},
             {{"p.exe", "/DIR=\\\\server\\"}, Reason::RelativeFolder, "/DIR=\\\\server\\"},
             {{"p.exe", "/DIR=\\\\?\\C:\\Vokarion"}, Reason::RelativeFolder, "/DIR=\\\\?\\C:\\Vokarion"},
             {{"p.exe", "/DIR=\\\\.\\C:\\Vokarion"}, Reason::RelativeFolder, "/DIR=\\\\.\\C:\\Vokarion"},
             {{"p.exe", "/CHECK=yes"}, Reason::UnexpectedValue, "/CHECK=yes"},
             {{"p.exe", "/WAIT=601"}, Reason::WaitOutOfRange, "/WAIT=601"},
             {{"p.exe", "/WAIT=+1"}, Reason::WaitOutOfRange, "/WAIT=+1"},
             {{"p.exe", "/WAIT= 1"}, Reason::WaitOutOfRange, "/WAIT= 1"},
             {{"p.exe", "/WAIT=1.5"}, Reason::WaitOutOfRange, "/WAIT=1.5"},
             {{"p.exe", "/WAIT=1000"}, Reason::WaitOutOfRange, "/WAIT=1000"},
             {{"p.exe", "/WAIT"}, Reason::MissingValue, "/WAIT"},
         }) {
        SCOPED_TRACE(c.Argument);
        try {
            Parse(c.Arguments, english);
            ADD_FAILURE() << "understood";
        } catch (const CommandLineError& error) {
            EXPECT_EQ(error.Why(), c.Why);
            EXPECT_EQ(error.Argument(), c.Argument);
        }
    }

    // The options around the fault are still known: a silent run that cannot start says why in its log.
    try {
        Parse({"p.exe", "/S", "/BOGUS", "/LOG=C:\\v.log", "/DIR=x"}, english);
        ADD_FAILURE() << "understood";
    } catch (const CommandLineError& error) {
        EXPECT_EQ(error.Argument(), "/BOGUS");
        EXPECT_TRUE(error.Understood().Silent);
        EXPECT_EQ(error.Understood().LogFile, "C:\\v.log");
        EXPECT_FALSE(error.Understood().InstallDir.has_value());
        const ByteString text = RefusalTextOf(error).Whole();
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
                Parse({"p.exe", "/LANG=" + std::string(name)}, profile);
            } catch (const CommandLineError&) {
                taken = false;
            }
            EXPECT_EQ(taken, offered) << name << " for product language " << int(c.Product) << " kind " << c.Kind;
        }
    }
    // The help lists the same, and shortens nothing it needs.
    const ByteString help = CommandLineHelp(Product(kGerman, 6), "VokarDe-2.1-patch.exe");
    EXPECT_NE(help.find("VokarDe-2.1-patch.exe [/S | /CHECK] [/DIR=FOLDER] [/LANG=PL|DE] [/LOG=FILE] [/WAIT=SECONDS]"),
              ByteString::npos)
        << help;
}

// An argument that the code page could not carry is refused, and the arguments around it still understood:
// the log it names is written, and a silent run stays silent.
TEST(ParseCommandLine, RefusesAnArgumentTheCodePageCannotCarry) {
    const std::vector<CommandLineArgument> arguments = {
        {"p.exe", true}, {"/S", true}, {"/DIR=C:\\Vokarion?", false}, {"/LOG=C:\\u.log", true}};
    EXPECT_TRUE(AsksForNoWindow(arguments));
    try {
        ParseCommandLine(arguments, Product(kEnglish, 1));
        ADD_FAILURE() << "understood";
    } catch (const CommandLineError& error) {
        EXPECT_EQ(error.Why(), Reason::UnreadableText);
        EXPECT_EQ(error.Argument(), "/DIR=C:\\Vokarion?");
        EXPECT_TRUE(error.Understood().Silent);
        EXPECT_EQ(error.Understood().LogFile, "C:\\u.log");
    }
}

// Whether a person may be asked anything is known before the arguments are understood, so even a wrong
// value of /S or /CHECK keeps every dialog away.
TEST(AsksForNoWindow, FindsSilenceAndChecksInAnyForm) {
    const auto asks = [](std::vector<std::string> texts) {
        std::vector<CommandLineArgument> arguments;
        for (std::string& text : texts) {
            arguments.push_back({std::move(text), false});
        }
        return AsksForNoWindow(arguments);
    };
    for (const char* unattended : {"/S", "-s", "/silent", "/CHECK", "-check", "/S=1", "/CHECK="}) {
        EXPECT_TRUE(asks({"p.exe", "/LANG=EN", unattended})) << unattended;
    }
    EXPECT_FALSE(asks({"p.exe", "/LANG=EN", "/SILENTLY", "S", "/?"}));
    EXPECT_FALSE(asks({"/S"}));  // the program's own name, whatever it is
}

// A folder as Windows reads it (GetFullPathNameW), so that what is used and logged is what the system opens.
TEST(CanonicalFolder, ReadsAFolderAsWindowsDoes) {
    struct Case {
        const char* Given;
        std::optional<ByteString> Read;
    };
    for (const Case& c : std::vector<Case>{
             {"C:\\Vokarion", "C:\\Vokarion"},
             {"C:\\Vokarion ", "C:\\Vokarion"},  // "set DIR=... " in a batch file
             {"C:\\Vokarion. .", "C:\\Vokarion"},
             {"C:\\Vokarion\\", "C:\\Vokarion\\"},
             {"C:\\Vokarion \\", "C:\\Vokarion \\"},  // a final delimiter keeps the name as it is
             {"c:/Program Files (x86)//Vokarion/", "c:\\Program Files (x86)\\Vokarion\\"},
             {"C:\\a.\\b", "C:\\a\\b"},
             {"C:\\a..\\b", "C:\\a..\\b"},
             {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
             {"C:\\..\\..\\Vokarion", "C:\\Vokarion"},
             {"C:\\", "C:\\"},
             {"C:\\.", "C:\\"},
             {"\\\\server\\share", "\\\\server\\share"},
             {"\\\\server\\share\\", "\\\\server\\share\\"},
             {"//server/share/../../Vokarion ", "\\\\server\\share\\Vokarion"},
             {"\\\\server", std::nullopt},
             {"\\\\server\\", std::nullopt},
             {"\\\\\\share", std::nullopt},
             {"\\\\?\\C:\\Vokarion", std::nullopt},
             {"\\\\.\\C:", std::nullopt},
             {"//?/C:/Vokarion", std::nullopt},
             {"C:Vokarion", std::nullopt},
             {"\\Vokarion", std::nullopt},
             {"Vokarion", std::nullopt},
             {"", std::nullopt},
         }) {
        EXPECT_EQ(CanonicalFolder(c.Given), c.Read) << c.Given;
    }
}

#ifdef _WIN32
// The rule above, held against the system's own reading of the same folders.
TEST(CanonicalFolder, ReadsAsTheSystemDoes) {
    for (const char* given : {"C:\\Vokarion ", "C:\\Vokarion. .", "C:\\Vokarion \\", "c:/Program Files//Vokarion/",
                              "C:\\a.\\b", "C:\\a\\.\\b\\..\\c", "C:\\..\\..\\Vokarion", "C:\\.",
                              "\\\\server\\share\\Vokarion ", "\\\\server\\share\\..\\x"}) {
        const std::optional<ByteString> canonical = CanonicalFolder(given);
        ASSERT_TRUE(canonical.has_value()) << given;
        wchar_t full[MAX_PATH] = {};
        const std::wstring wide(given, given + std::strlen(given));
        const DWORD length = ::GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
        EXPECT_EQ(std::wstring(full, length), std::wstring(canonical->begin(), canonical->end())) << given;
    }
}
#endif

TEST(RefusalText, ShortensAHugeArgument) {
    const CommandLineError error(Reason::UnknownOption, "/" + std::string(10'000'000, 'x'));
    EXPECT_LT(RefusalTextOf(error).Whole().size(), 600u);
}

}  // namespace
}  // namespace patcher

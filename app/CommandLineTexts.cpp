// The texts of the command line, which an administrator reads whatever the display language: Polish, as the
// product speaks to its users, and English. Written in UTF-8, stored as Windows-1250 bytes.
#include "app/CommandLineTexts.h"

#include <array>

#include "lang/MessageFormat.h"

namespace patcher {
namespace {

using Reason = CommandLineError::Reason;

// An argument longer than this is shown by its beginning and its end.
constexpr std::size_t kLongestArgumentShown = 120;

struct ReasonTexts {
    Reason Why;
    ByteStringView Polish;
    ByteStringView English;
};

constexpr std::array<ReasonTexts, 11> kReasonTexts = {{
    {Reason::UnknownOption, "Nieznana opcja: %s", "Unknown option: %s"},
    {Reason::NotAnOption, "To nie jest opcja (opcje zaczynają się od / albo -): %s",
     "Not an option (options start with / or -): %s"},
    {Reason::MissingValue, "Opcja wymaga wartości po znaku =: %s", "The option needs a value after =: %s"},
    {Reason::UnexpectedValue, "Ta opcja nie przyjmuje wartości: %s", "The option takes no value: %s"},
    {Reason::RepeatedOption, "Opcja podana dwa razy: %s", "The option is given twice: %s"},
    {Reason::RelativeFolder, "Katalog trzeba podać pełną ścieżką (X:\\... albo \\\\serwer\\udział\\...): %s",
     "The folder must be a full path (X:\\... or \\\\server\\share\\...): %s"},
    {Reason::FolderTooLong, "Katalog jest za długi dla ścieżek systemu: %s",
     "The folder is too long for the system's paths: %s"},
    {Reason::WaitOutOfRange, "Czas oczekiwania to liczba sekund od 0 do 600: %s",
     "The time to wait is a number of seconds from 0 to 600: %s"},
    {Reason::LanguageNotOffered, "Tego języka ten program nie oferuje: %s",
     "This patcher does not offer that language: %s"},
    {Reason::UnreadableText, "Znaki, których nie ma w stronie kodowej systemu: %s",
     "Characters that the system's code page lacks: %s"},
    {Reason::LogNotWritable, "Nie można dopisywać do pliku dziennika: %s", "The log file cannot be appended to: %s"},
}};

ByteString Shortened(ByteStringView argument) {
    if (argument.size() <= kLongestArgumentShown) {
        return ByteString(argument);
    }
    const std::size_t half = kLongestArgumentShown / 2;
    return ByteString(argument.substr(0, half)) + "..." + ByteString(argument.substr(argument.size() - half));
}

}  // namespace

ByteString CommandLineHelp(const ProductProfile& profile, ByteStringView programName) {
    const ByteString languages = OfferedLanguageNames(profile);
    const ByteString program(programName);
    ByteString help;
    help += "Użycie: " + program + " [/S | /CHECK] [/DIR=KATALOG] [/LANG=" + languages +
            "] [/LOG=PLIK] [/WAIT=SEKUNDY] [/?]\r\n";
    help += "/S, /SILENT - bez okna i bez pytań: uaktualnia od razu i kończy pracę.\r\n";
    help += "/CHECK - bez okna; niczego nie zmienia, tylko sprawdza, czy uaktualnienie jest potrzebne.\r\n";
    help += "/DIR=KATALOG - katalog programu (pełna ścieżka) zamiast zapisanego w rejestrze.\r\n";
    help += "/LANG=" + languages + " - język okna, komunikatów i dziennika.\r\n";
    help += "/LOG=PLIK - dopisuje przebieg do pliku (UTF-8).\r\n";
    help += "/WAIT=SEKUNDY - jak długo czekać na plik zajęty przez inny program (0 do 600, domyślnie 2).\r\n";
    help += "/?, /HELP - ta pomoc (kod wyjścia 0).\r\n";
    help +=
        "Kody wyjścia: 0 - wszystkie pliki są aktualne; 1 - nie każdy plik został uaktualniony;\r\n"
        "2 - nie znaleziono katalogu programu; 3 - błędny wiersz poleceń albo dziennik;\r\n"
        "4 - okno zamknięto przed uaktualnieniem; 5 (/CHECK) - uaktualnienie jest potrzebne;\r\n"
        "6 - nieoczekiwany błąd programu uaktualniającego.\r\n\r\n";
    help += "Usage: " + program + " [/S | /CHECK] [/DIR=FOLDER] [/LANG=" + languages +
            "] [/LOG=FILE] [/WAIT=SECONDS] [/?]\r\n";
    help += "/S, /SILENT - no window and no questions: updates at once and exits.\r\n";
    help += "/CHECK - no window; changes nothing, only tells whether the update is needed.\r\n";
    help += "/DIR=FOLDER - the program's folder (a full path) instead of the one in the registry.\r\n";
    help += "/LANG=" + languages + " - the language of the window, the messages and the log.\r\n";
    help += "/LOG=FILE - appends what is done to the file (UTF-8).\r\n";
    help += "/WAIT=SECONDS - how long to wait for a file that another program holds (0 to 600, 2 unless given).\r\n";
    help += "/?, /HELP - this help (exit code 0).\r\n";
    help +=
        "Exit codes: 0 - every file is current; 1 - some file was not updated;\r\n"
        "2 - the program's folder was not found; 3 - a wrong command line or log;\r\n"
        "4 - the window was closed before updating; 5 (/CHECK) - the update is needed;\r\n"
        "6 - an unexpected error of the patcher.";
    return help;
}

RefusalText RefusalTextOf(const CommandLineError& error) {
    for (const ReasonTexts& texts : kReasonTexts) {
        if (texts.Why == error.Why()) {
            return {ByteString(texts.Polish) + "\r\n" + ByteString(texts.English) + "\r\n/? - opcje / the options",
                    Shortened(error.Argument())};
        }
    }
    return {"%s", Shortened(error.Argument())};
}

ByteString RefusalText::Whole() const {
    return FormatText(Pattern, {Argument, Argument});
}

}  // namespace patcher

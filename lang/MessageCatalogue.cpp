// The texts are written in UTF-8 here and compiled into Windows-1250 bytes (see lang/CMakeLists.txt).
#include "lang/MessageCatalogue.h"

namespace patcher {
namespace {

// The wording of one message in the three languages that have their own.
struct Wording {
    int Id;
    ByteStringView Polish;
    ByteStringView English;
    ByteStringView German;
};

constexpr Wording kWordings[] = {
    {kMessageDialogCaption, "Uwaga", "Attention", "Achtung"},
    {kMessageYes, "Tak", "Yes", "Ja"},
    {kMessageNo, "Nie", "No", "Nein"},
    {kMessageCancel, "Anuluj", "Cancel", "Abbrechen"},
    {kMessageWindowCaption, "%s - Uaktualnienie", "%s - Update", "Update - %s"},
    {kMessageTitle, "%s - Uaktualnienie", "%s - Update", "Update - %s"},
    {kMessageVersion, "Wersja %s", "Version %s", "Version %s"},
    {kMessageUpdateButton, "Uaktualnij", "Update", "Aktualisieren"},
    {kMessageFinishButton, "Zakończ", "Finish", "Beenden"},
    {kMessageFileOk, "OK\r\n", "OK\r\n", "OK\r\n"},
    {kMessageFileFailed, "Błąd\r\n", "Error\r\n", "Fehler\r\n"},
    {kSummaryUpdated, "Aktualizacja została zakończona pomyślnie. Naciśnij \"Zakończ\" aby wyjść z programu.",
     "Update has finished successfully. Press \"Finish\" to exit the program.",
     "Aktualisierung erfolgreich beendet. Drücken Sie \"Beenden\", um das Programm zu schließen."},
    {kSummaryFailed,
     "Podczas aktualizacji wystąpiły błędy. Naciśnij \"Uaktualnij\" aby ponownie dokonać aktualizacji, albo "
     "\"Zakończ\" aby wyjść z programu.",
     "Some errors occured during update. Press \"Update\" to retry, or \"Finish\" to exit.",
     "Während der Aktualisierung ist ein Fehler erschienen. Klicken Sie \"Aktualisieren\" um die Aktualisierung wieder "
     "auszuführen, oder \"Beenden\" um das Programm zu schließen."},
    {kSummaryNothingToDo, "Zainstalowana wersja programu nie wymaga aktualizacji.",
     "The installed version doesn't need updating.", "Die installierte Version erfordert keine Aktualisierung."},
    {kMessageFileLine, "Trwa aktualizacja pliku %s ... ", "File %s is being updated ... ",
     "Aktualisierung der Datei %s ... "},
    {kMessageNoDirectory, "Błąd - nie znaleziono katalogu programu.", "Error - program directory could not be found.",
     "Fehler - Ordner des Programms nicht gefunden."},
    {kMessageFileMissing, "Błąd - nie znaleziono pliku %s w katalogu programu.",
     "Error - file %s could not be found in program directory.", "Fehler - Datei %s nicht gefunden."},
    {kMessageUnknownVersion, "Błąd - nieznana wersja pliku %s.", "Error - unknown version of file %s.",
     "Fehler - unbekannte Version der Datei %s."},
    {kMessageUnreadable, "Wystąpił błąd podczas otwierania pliku %s.", "An error occured while opening file %s.",
     "Fehler beim Öffnen der Datei %s."},
};

// The introduction. The rows that borrow the Polish wording leave out the quotation marks around the
// product title, and the English row quotes it with apostrophes.
constexpr ByteStringView kIntroductionPolish =
    "Ten program uaktualni \"%s\" do wersji %s. Jeżeli Vokarion jest uruchomiony, należy go zamknąć przed dokonaniem "
    "aktualizacji.\r\n\r\nNaciśnij przycisk \"Uaktualnij\" aby kontynuować.\r\n\r\n";
constexpr ByteStringView kIntroductionBorrowed =
    "Ten program uaktualni %s do wersji %s. Jeżeli Vokarion jest uruchomiony, należy go zamknąć przed dokonaniem "
    "aktualizacji.\r\n\r\nNaciśnij przycisk \"Uaktualnij\" aby kontynuować.\r\n\r\n";
constexpr ByteStringView kIntroductionEnglish =
    "This program will update '%s' to version %s. If Vokarion is running, it must be closed before "
    "updating.\r\n\r\nPress \"Update\" button to continue.\r\n\r\n";
constexpr ByteStringView kIntroductionGerman =
    "Dieses Programm wird \"%s\" zur Version %s aktualisieren. Wenn das Programm gestartet ist, soll man es vor der "
    "Akualisierung schliessen.\r\n\r\nUm fort zu setzen, klicken Sie bitte \"Aktualisieren\".\r\n\r\n";

// The finish button's wording is there twice in every row.

constexpr std::size_t Index(LanguageCode language, int id) {
    return static_cast<std::size_t>(language) * kMessageIdCount + static_cast<std::size_t>(id - 1);
}

constexpr std::array<ByteStringView, kCatalogueSize> BuildCatalogue() {
    std::array<ByteStringView, kCatalogueSize> catalogue{};
    for (LanguageCode language = 0; language < kLanguageCount; ++language) {
        for (const Wording& wording : kWordings) {
            const ByteStringView text = language == kEnglish  ? wording.English
                                        : language == kGerman ? wording.German
                                                              : wording.Polish;
            catalogue[Index(language, wording.Id)] = text;
        }
        catalogue[Index(language, kMessageFinishAgain)] = catalogue[Index(language, kMessageFinishButton)];
        catalogue[Index(language, kMessageIntroduction)] = language == kPolish    ? kIntroductionPolish
                                                           : language == kEnglish ? kIntroductionEnglish
                                                           : language == kGerman  ? kIntroductionGerman
                                                                                  : kIntroductionBorrowed;
    }
    return catalogue;
}

}  // namespace

constinit const std::array<ByteStringView, kCatalogueSize> MessageCatalogue = BuildCatalogue();

ByteStringView LookupMessage(LanguageCode language, int id) noexcept {
    if (language >= kLanguageCount || id < 1 || id > kMessageIdCount) {
        return {};
    }
    return MessageCatalogue[Index(language, id)];
}

ByteStringView WithoutInstructions(int id, ByteStringView shownText) noexcept {
    std::size_t end = ByteStringView::npos;
    if (id == kMessageIntroduction) {
        end = shownText.find("\r\n\r\n");
    } else if (id == kSummaryUpdated || id == kSummaryFailed) {
        end = shownText.find(". ");
        if (end != ByteStringView::npos) {
            ++end;  // the sentence keeps its full stop
        }
    }
    return shownText.substr(0, end);
}

}  // namespace patcher

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
    {181, "Uwaga", "Attention", "Achtung"},
    {182, "Tak", "Yes", "Ja"},
    {183, "Nie", "No", "Nein"},
    {184, "Anuluj", "Cancel", "Abbrechen"},
    {261, "%s - Uaktualnienie", "%s - Update", "Update - %s"},
    {262, "%s - Uaktualnienie", "%s - Update", "Update - %s"},
    {263, "Wersja %s", "Version %s", "Version %s"},
    {264, "Uaktualnij", "Update", "Aktualisieren"},
    {265, "Zakończ", "Finish", "Beenden"},
    {267, "OK\r\n", "OK\r\n", "OK\r\n"},
    {268, "Błąd\r\n", "Error\r\n", "Fehler\r\n"},
    {272, "Aktualizacja została zakończona pomyślnie. Naciśnij \"Zakończ\" aby wyjść z programu.",
     "Update has finished successfully. Press \"Finish\" to exit the program.",
     "Aktualisierung erfolgreich beendet. Drücken Sie \"Beenden\", um das Programm zu schließen."},
    {273,
     "Podczas aktualizacji wystąpiły błędy. Naciśnij \"Uaktualnij\" aby ponownie dokonać aktualizacji, albo "
     "\"Zakończ\" aby wyjść z programu.",
     "Some errors occured during update. Press \"Update\" to retry, or \"Finish\" to exit.",
     "Während der Aktualisierung ist ein Fehler erschienen. Klicken Sie \"Aktualisieren\" um die Aktualisierung wieder "
     "auszuführen, oder \"Beenden\" um das Programm zu schließen."},
    {274, "Zainstalowana wersja programu nie wymaga aktualizacji.", "The installed version doesn't need updating.",
     "Die installierte Version erfordert keine Aktualisierung."},
    {276, "Trwa aktualizacja pliku %s ... ", "File %s is being updated ... ", "Aktualisierung der Datei %s ... "},
    {277, "Błąd - nie znaleziono katalogu programu.", "Error - program directory could not be found.",
     "Fehler - Ordner des Programms nicht gefunden."},
    {278, "Błąd - nie znaleziono pliku %s w katalogu programu.",
     "Error - file %s could not be found in program directory.", "Fehler - Datei %s nicht gefunden."},
    {279, "Błąd - nieznana wersja pliku %s.", "Error - unknown version of file %s.",
     "Fehler - unbekannte Version der Datei %s."},
    {280, "Wystąpił błąd podczas otwierania pliku %s.", "An error occured while opening file %s.",
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
constexpr int kIntroductionId = 271;

// Id 266 has the wording of the finish button (265) in every row.
constexpr int kFinishId = 265;
constexpr int kSameAsFinishId = 266;

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
        catalogue[Index(language, kSameAsFinishId)] = catalogue[Index(language, kFinishId)];
        catalogue[Index(language, kIntroductionId)] = language == kPolish    ? kIntroductionPolish
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

}  // namespace patcher

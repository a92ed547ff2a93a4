#pragma once

#include "app/MainWindowDesign.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "tables/PatchTables.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "profile/ProductProfile.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {

// The texts a patcher shows, from the catalogue and the tables it carries (TablesOf), for the update it brings.

inline ByteString Message(LanguageCode language, int id) {
    return ByteString(LookupMessage(language, id));
}

inline ByteString Formatted(LanguageCode language, int id, ByteStringView argument) {
    return FormatText(LookupMessage(language, id), {argument});
}

inline ByteString Title(LanguageCode language, const PatchTables& tables) {
    return tables.UpdateTitle[language == kPolish ? 0 : 1];
}

inline ByteString Introduction(LanguageCode language, const PatchTables& tables) {
    return FormatText(LookupMessage(language, kMessageIntroduction), {Title(language, tables), tables.UpdateVersion});
}

inline ByteString ProgressLine(LanguageCode language, ByteStringView fileName) {
    return FormatText(LookupMessage(language, kMessageFileLine), {fileName});
}

// Every text of the window in a display language.
inline DriverScript& ExpectWindowTexts(DriverScript& script, LanguageCode language, const PatchTables& tables) {
    using C = MainControl;
    return script.ExpectText(C::Window, Formatted(language, kMessageWindowCaption, Title(language, tables)))
        .ExpectText(C::lblTytul, Formatted(language, kMessageTitle, Title(language, tables)))
        .ExpectText(C::lblKrok, Formatted(language, kMessageVersion, tables.UpdateVersion))
        .ExpectText(C::lblMain, Introduction(language, tables))
        .ExpectText(C::lblJezyk, "J\xEAzyk / Language / Sprache / Langue:")
        .ExpectText(C::btnUpdate, Message(language, kMessageUpdateButton))
        .ExpectText(C::btnZamknij, Message(language, kMessageFinishButton));
}

}  // namespace patcher::e2e

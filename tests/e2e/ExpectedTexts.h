#pragma once

#include "app/MainWindowDesign.h"
#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"
#include "profile/ProductProfile.h"
#include "tests/e2e/PatcherSession.h"

namespace patcher::e2e {

// The texts a patcher shows, from the catalogue and the family's tables, for the update it brings.

inline ByteString Message(LanguageCode language, int id) {
    return ByteString(LookupMessage(language, id));
}

inline ByteString Formatted(LanguageCode language, int id, ByteStringView argument) {
    return FormatText(LookupMessage(language, id), {argument});
}

inline ByteString Title(LanguageCode language, int updateIndex) {
    return ByteString(UpdateTitle(updateIndex, language == kPolish ? 1 : 2));
}

inline ByteString Introduction(LanguageCode language, int updateIndex) {
    return FormatText(LookupMessage(language, kMessageIntroduction),
                      {Title(language, updateIndex), UpdateVersion(updateIndex)});
}

inline ByteString ProgressLine(LanguageCode language, ByteStringView fileName) {
    return FormatText(LookupMessage(language, kMessageFileLine), {fileName});
}

// Every text of the window in a display language.
inline DriverScript& ExpectWindowTexts(DriverScript& script, LanguageCode language, int updateIndex) {
    using C = MainControl;
    return script.ExpectText(C::Window, Formatted(language, kMessageWindowCaption, Title(language, updateIndex)))
        .ExpectText(C::lblTytul, Formatted(language, kMessageTitle, Title(language, updateIndex)))
        .ExpectText(C::lblKrok, Formatted(language, kMessageVersion, UpdateVersion(updateIndex)))
        .ExpectText(C::lblMain, Introduction(language, updateIndex))
        .ExpectText(C::lblJezyk, "J\xEAzyk / Language / Sprache / Langue:")
        .ExpectText(C::btnUpdate, Message(language, kMessageUpdateButton))
        .ExpectText(C::btnZamknij, Message(language, kMessageFinishButton));
}

}  // namespace patcher::e2e

#pragma once

#include <array>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "lang/MessageIds.h"

namespace patcher {

inline constexpr int kMessageIdCount = 320;  // ids 1..320
inline constexpr int kCatalogueSize = kLanguageCount * kMessageIdCount;

// Every text the windows show, as Windows-1250 bytes: one row of 320 entries per language code, stored row
// by row, so that (language, id) is element language * 320 + id - 1. An empty view is an empty entry.
// Rows 2, 4, 5 and 6 carry the Polish wording. Only the entries this program shows are filled in.
extern const std::array<ByteStringView, kCatalogueSize> MessageCatalogue;

// The entry for a language code 0..6 and a message id 1..320, unformatted; empty for an empty entry and for
// a code or id outside the catalogue.
ByteStringView LookupMessage(LanguageCode language, int id) noexcept;

// What a message as shown (formatted) tells, without the instruction to press one of the window's buttons
// that follows it in the introduction (its paragraphs after the first) and in summaries 272 and 273 (their
// sentences after the first): for a log, read when there is no button to press. Other messages whole.
ByteStringView WithoutInstructions(int id, ByteStringView shownText) noexcept;

}  // namespace patcher

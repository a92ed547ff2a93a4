#pragma once

#include <span>
#include <string_view>

namespace patcher::standin {

// Words that the stand-in texts are made of: the English and Polish of a translation program with
// dictionaries, and the identifiers of its Delphi-style forms. Polish words are Windows-1250 bytes.
std::span<const std::string_view> EnglishWords();
std::span<const std::string_view> PolishWords();
std::span<const std::string_view> Identifiers();
std::span<const std::string_view> ImportedFunctions();
std::span<const std::string_view> ImportedLibraries();

// The UTF-16 code unit of a Windows-1250 byte (the letters the vocabulary uses; others map as Latin-1).
char16_t Windows1250ToUtf16(unsigned char byte);

}  // namespace patcher::standin

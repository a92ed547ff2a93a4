#pragma once

#include <cstdint>

namespace patcher {

// 0 Polish, 1 English, 2 French, 3 German, 4 Italian, 5 Spanish, 6 Russian.
using LanguageCode = std::uint8_t;

inline constexpr LanguageCode kPolish = 0;
inline constexpr LanguageCode kEnglish = 1;
inline constexpr LanguageCode kFrench = 2;
inline constexpr LanguageCode kGerman = 3;
inline constexpr LanguageCode kItalian = 4;
inline constexpr LanguageCode kSpanish = 5;
inline constexpr LanguageCode kRussian = 6;
inline constexpr int kLanguageCount = 7;

}  // namespace patcher

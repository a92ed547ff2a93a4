#pragma once

#include <cstdint>

namespace patcher {

// The Windows locale identifier (LCID) of the calling thread: GetThreadLocale on Windows. Elsewhere the
// POSIX message locale (LC_ALL, then LC_MESSAGES, then LANG) expressed as the identifier that Windows
// gives the same language and country. Never fails.
std::uint32_t ThreadLocaleId();

}  // namespace patcher

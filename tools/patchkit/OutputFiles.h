#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace patcher::patchkit {

// Writes a whole file anew; throws std::runtime_error when it cannot.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Writes generated text as a whole file.
void WriteTextFile(const std::string& path, std::string_view text);

}  // namespace patcher::patchkit

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/patchkit/BuildOptions.h"

namespace patcher::patchkit {

// The patcher signed with the maintainer's Authenticode certificate by osslsigncode (SHA-256, the patcher's
// name as the signature's description); a key under a password reads it from the file that
// PATCHER_SIGN_PASSWORD_FILE names. Nothing is left behind. Throws std::runtime_error with osslsigncode's own
// words where it cannot sign.
std::vector<std::uint8_t> Signed(std::span<const std::uint8_t> exe,
                                 const std::string& fileName,
                                 const Signing& signing);

// Throws std::runtime_error, saying how to sign instead, where patchkit cannot sign on this host at all (on
// Windows, where signtool signs the patcher that patchkit wrote): before a build spends its time.
void CheckSigningAvailable();

}  // namespace patcher::patchkit

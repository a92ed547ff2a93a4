#include <stdexcept>

#include "tools/patchkit/PatcherSigning.h"

namespace patcher::patchkit {
namespace {

// Windows has its own signing tool, which takes the certificate as Windows keeps one (a .pfx file, the
// certificate store, a token): the patcher is signed after patchkit wrote it.
constexpr const char* kSignAfterwards =
    "patchkit signs only on Linux (with osslsigncode): on Windows, build the patcher without --sign, then sign it "
    "with signtool (signtool sign /fd SHA256 /f CERT.pfx /tr TIMESTAMP-URL /td SHA256 PATCHER.exe)";

}  // namespace

void CheckSigningAvailable() {
    throw std::runtime_error(kSignAfterwards);
}

std::vector<std::uint8_t> Signed(std::span<const std::uint8_t>, const std::string&, const Signing&) {
    throw std::runtime_error(kSignAfterwards);
}

}  // namespace patcher::patchkit

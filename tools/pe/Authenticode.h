#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/pe/PeReader.h"

namespace patcher::pe {

// The Authenticode signature of a program file, as far as a maintainer checks a patcher before it ships: who
// signed it, and whether the file is still the one signed. Whether the signer is to be trusted (the chain of
// certificates, their dates, the signature's own cryptography) is not judged here.

enum class DigestAlgorithm { Sha1, Sha256 };

// "SHA-1", "SHA-256".
const char* DigestAlgorithmName(DigestAlgorithm algorithm);

struct AuthenticodeSignature {
    DigestAlgorithm Algorithm = DigestAlgorithm::Sha256;
    std::vector<std::uint8_t> SignedDigest;  // the file's digest as the signature holds it
    // The common name of the signing certificate's subject, in UTF-8; nullopt where the signature carries no
    // certificate of its signer, empty where that certificate's subject has no common name.
    std::optional<std::string> Signer;
};

// The signature in the program's certificate table: the first PKCS#7 signed data there, read as Authenticode
// lays it out (its content the indirect data that holds the file's digest, its first signer named by the
// issuer and serial number of a certificate that it carries). nullopt for a program without a certificate
// table. Throws BrokenSignature for a table that lies outside the file, overlaps the program's headers or
// sections, runs past its own end, or holds data that breaks the layout, and for a digest algorithm other
// than SHA-1 and SHA-256.
std::optional<AuthenticodeSignature> ReadAuthenticode(const PeReader& program);

// The program's Authenticode digest: its bytes hashed in order, leaving out the header's checksum field, the
// certificate table's entry among the data directories, and the certificate table itself.
std::vector<std::uint8_t> AuthenticodeDigest(const PeReader& program, DigestAlgorithm algorithm);

}  // namespace patcher::pe

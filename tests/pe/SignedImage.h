#pragma once

// Authenticode signatures built here element by element: PKCS#7 signed data as Authenticode lays it out, and
// a certificate table that carries it behind a program image.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "tools/pe/Der.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::testing {

using DerBytes = std::vector<std::uint8_t>;

// One DER element: the tag, the length in its shortest form, the content.
inline DerBytes Der(std::uint8_t tag, const DerBytes& content) {
    DerBytes bytes = {tag};
    const std::size_t length = content.size();
    if (length < 0x80) {
        bytes.push_back(static_cast<std::uint8_t>(length));
    } else {
        DerBytes digits;
        for (std::size_t rest = length; rest != 0; rest >>= 8) {
            digits.insert(digits.begin(), static_cast<std::uint8_t>(rest));
        }
        bytes.push_back(static_cast<std::uint8_t>(0x80 | digits.size()));
        bytes.insert(bytes.end(), digits.begin(), digits.end());
    }
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

inline DerBytes Cat(std::initializer_list<DerBytes> parts) {
    DerBytes bytes;
    for (const DerBytes& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

inline DerBytes Text(std::string_view text) {
    return {text.begin(), text.end()};
}

inline const DerBytes kSha1Oid = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
inline const DerBytes kSha256Oid = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
inline const DerBytes kSha512Oid = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};
inline const DerBytes kCommonNameOid = {0x55, 0x04, 0x03};
inline const DerBytes kCountryOid = {0x55, 0x04, 0x06};

// A Name of a country and, where given, a common name (a UTF8String).
inline DerBytes Name(std::string_view commonName, bool withCommonName = true) {
    namespace der = pe::der;
    DerBytes parts =
        Der(der::kSet, Der(der::kSequence, Cat({Der(der::kOid, kCountryOid), Der(der::kPrintableString, Text("PL"))})));
    if (withCommonName) {
        parts = Cat({parts, Der(der::kSet, Der(der::kSequence, Cat({Der(der::kOid, kCommonNameOid),
                                                                    Der(der::kUtf8String, Text(commonName))})))});
    }
    return Der(der::kSequence, parts);
}

// A certificate of that serial number, issuer and subject; its key and signature are filler.
inline DerBytes Certificate(std::uint8_t serial, const DerBytes& issuer, const DerBytes& subject) {
    namespace der = pe::der;
    const DerBytes algorithm =
        Der(der::kSequence, Der(der::kOid, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}));
    const DerBytes tbs =
        Der(der::kSequence,
            Cat({Der(der::Context(0), Der(der::kInteger, {2})), Der(der::kInteger, {serial}), algorithm, issuer,
                 Der(der::kSequence, Text("validity")), subject, Der(der::kSequence, Text("key"))}));
    return Der(der::kSequence, Cat({tbs, algorithm, Der(0x03, {0, 1, 2, 3})}));
}

struct SignedDataParts {
    DerBytes DigestOid = kSha256Oid;
    DerBytes Digest;
    DerBytes Certificates;  // the content of [0]; none where empty
    DerBytes SignerIssuer;
    std::uint8_t SignerSerial = 1;
};

// ContentInfo { signedData, [0] SignedData { 1, digest algorithms, { SpcIndirectData, [0] { attribute,
// DigestInfo } }, [0] certificates, { SignerInfo { 1, { issuer, serial }, ... } } } }.
inline DerBytes SignedData(const SignedDataParts& parts) {
    namespace der = pe::der;
    const DerBytes algorithm = Der(der::kSequence, Cat({Der(der::kOid, parts.DigestOid), Der(0x05, {})}));
    const DerBytes indirect =
        Der(der::kSequence,
            Cat({Der(der::kSequence, Der(der::kOid, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F})),
                 Der(der::kSequence, Cat({algorithm, Der(der::kOctetString, parts.Digest)}))}));
    const DerBytes content =
        Der(der::kSequence, Cat({Der(der::kOid, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04}),
                                 Der(der::Context(0), indirect)}));
    const DerBytes signer = Der(
        der::kSequence, Cat({Der(der::kInteger, {1}),
                             Der(der::kSequence, Cat({parts.SignerIssuer, Der(der::kInteger, {parts.SignerSerial})})),
                             algorithm, Der(der::kSequence, Text("rsa")), Der(der::kOctetString, Text("signature"))}));
    DerBytes signedData = Cat({Der(der::kInteger, {1}), Der(der::kSet, algorithm), content});
    if (!parts.Certificates.empty()) {
        signedData = Cat({signedData, Der(der::Context(0), parts.Certificates)});
    }
    signedData = Cat({signedData, Der(der::kSet, signer)});
    return Der(der::kSequence, Cat({Der(der::kOid, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02}),
                                    Der(der::Context(0), Der(der::kSequence, signedData))}));
}

// One WIN_CERTIFICATE entry of that revision and type, padded to 8 bytes.
inline DerBytes CertificateEntry(const DerBytes& data, std::uint16_t type = 2, std::uint16_t revision = 0x0200) {
    DerBytes entry;
    pe::Store32(entry, 0, static_cast<std::uint32_t>(8 + data.size()));
    pe::Store16(entry, 4, revision);
    pe::Store16(entry, 6, type);
    entry.insert(entry.end(), data.begin(), data.end());
    entry.resize(pe::AlignUp<std::size_t>(entry.size(), 8));
    return entry;
}

// The image with `table` appended as its certificate table, the header's entry naming it.
inline std::vector<std::uint8_t> WithCertificateTable(std::vector<std::uint8_t> image, const DerBytes& table) {
    const pe::PeReader reader(image);
    const std::size_t entry =
        reader.Places().DataDirectories + pe::kCertificateTable * pe::optional::kDataDirectoryEntrySize;
    pe::Store32(image, entry, static_cast<std::uint32_t>(image.size()));
    pe::Store32(image, entry + 4, static_cast<std::uint32_t>(table.size()));
    image.insert(image.end(), table.begin(), table.end());
    return image;
}

}  // namespace patcher::testing

#include "tools/pe/Authenticode.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "tools/pe/Der.h"
#include "tools/pe/LittleEndian.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/Sha.h"

namespace patcher::pe {
namespace {

using Bytes = std::span<const std::uint8_t>;

// The certificate table: WIN_CERTIFICATE entries, each its length (the 8-byte header included), its revision
// and its type, then its data, the next on an 8-byte boundary.
namespace certificate {
inline constexpr std::size_t kLength = 0;
inline constexpr std::size_t kRevision = 4;
inline constexpr std::size_t kType = 6;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::uint64_t kAlignment = 8;
inline constexpr std::uint16_t kRevision1 = 0x0100;
inline constexpr std::uint16_t kRevision2 = 0x0200;
inline constexpr std::uint16_t kTypePkcsSignedData = 0x0002;
}  // namespace certificate

// The object identifiers that are looked for, as their DER content.
constexpr std::array<std::uint8_t, 9> kSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr std::array<std::uint8_t, 10> kSpcIndirectData = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
constexpr std::array<std::uint8_t, 5> kSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr std::array<std::uint8_t, 9> kSha256 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
constexpr std::array<std::uint8_t, 3> kCommonName = {0x55, 0x04, 0x03};

[[noreturn]] void Broken(const std::string& what) {
    throw BrokenSignature(what);
}

template <std::size_t N>
bool Is(Bytes oid, const std::array<std::uint8_t, N>& expected) {
    return std::ranges::equal(oid, expected);
}

struct Region {
    std::uint64_t Begin = 0;
    std::uint64_t End = 0;
};

// Where the certificate table lies; empty where the header names none.
Region CertificateTable(const PeReader& program) {
    const PeReader::DataDirectory entry = program.Directory(kCertificateTable);
    if (entry.Size == 0) {
        return {};
    }
    return {entry.Rva, std::uint64_t{entry.Rva} + entry.Size};
}

// Checks that the table lies inside the file, after the headers and every section's bytes, where nothing of
// the program can hide in the part that the digest leaves out.
void CheckPlace(const PeReader& program, const Region& table) {
    if (table.End > program.Image().size()) {
        Broken("the certificate table lies outside the file");
    }
    std::uint64_t programEnd = program.SizeOfHeaders();
    for (const PeReader::Section& section : program.Sections()) {
        if (section.RawSize != 0) {
            programEnd = std::max(programEnd, std::uint64_t{section.RawOffset} + section.RawSize);
        }
    }
    if (table.Begin < programEnd) {
        Broken("the certificate table overlaps the program's headers or sections");
    }
}

// The PKCS#7 data of the first signed-data entry of the table.
Bytes SignedDataEntry(Bytes table) {
    std::uint64_t at = 0;
    while (at < table.size()) {
        if (table.size() - at < certificate::kHeaderSize) {
            Broken("a certificate entry is cut short");
        }
        const auto place = static_cast<std::size_t>(at);
        const std::uint32_t length = Load32(table, place + certificate::kLength);
        const std::uint16_t revision = Load16(table, place + certificate::kRevision);
        const std::uint16_t type = Load16(table, place + certificate::kType);
        if (length < certificate::kHeaderSize || length > table.size() - at) {
            Broken("a certificate entry's length leads outside the table");
        }
        if (type == certificate::kTypePkcsSignedData &&
            (revision == certificate::kRevision1 || revision == certificate::kRevision2)) {
            return table.subspan(place + certificate::kHeaderSize, length - certificate::kHeaderSize);
        }
        at = AlignUp<std::uint64_t>(at + length, certificate::kAlignment);
    }
    Broken("the certificate table holds no PKCS#7 signed data");
}

// The digest algorithm and the digest of SpcIndirectDataContent: SEQUENCE { data, DigestInfo SEQUENCE {
// AlgorithmIdentifier SEQUENCE { OID, parameters }, digest OCTET STRING } }.
void ReadIndirectData(const DerElement& content, AuthenticodeSignature& signature) {
    DerReader indirect(content);
    indirect.Read(der::kSequence, "indirect data's attribute");
    DerReader digestInfo(indirect.Read(der::kSequence, "digest information"));
    DerReader algorithm(digestInfo.Read(der::kSequence, "digest algorithm"));
    const DerElement oid = algorithm.Read(der::kOid, "digest algorithm's identifier");
    std::size_t expectedBytes = 0;
    if (Is(oid.Content, kSha1)) {
        signature.Algorithm = DigestAlgorithm::Sha1;
        expectedBytes = Sha1::kDigestBytes;
    } else if (Is(oid.Content, kSha256)) {
        signature.Algorithm = DigestAlgorithm::Sha256;
        expectedBytes = Sha256::kDigestBytes;
    } else {
        Broken("the file's digest is of the algorithm " + OidText(oid.Content) + ", neither SHA-1 nor SHA-256");
    }
    const DerElement digest = digestInfo.Read(der::kOctetString, "digest");
    if (digest.Content.size() != expectedBytes) {
        Broken("a digest of " + std::to_string(digest.Content.size()) + " bytes for " +
               DigestAlgorithmName(signature.Algorithm));
    }
    signature.SignedDigest.assign(digest.Content.begin(), digest.Content.end());
}

// The last common name of a Name (SEQUENCE OF SET OF SEQUENCE { OID, value }): the most specific part.
std::string CommonName(const DerElement& name) {
    std::string found;
    DerReader parts(name);
    while (!parts.AtEnd()) {
        DerReader attributes(parts.Read(der::kSet, "part of a name"));
        while (!attributes.AtEnd()) {
            DerReader attribute(attributes.Read(der::kSequence, "attribute of a name"));
            const DerElement type = attribute.Read(der::kOid, "attribute's type");
            const DerElement value = attribute.Read();
            if (Is(type.Content, kCommonName)) {
                found = DirectoryString(value);
            }
        }
    }
    return found;
}

// The subject's common name of the certificate among `certificates` whose issuer and serial number are
// those given; nullopt where none has them.
std::optional<std::string> SignerName(const DerElement& certificates, Bytes issuer, Bytes serial) {
    DerReader each(certificates);
    while (!each.AtEnd()) {
        const DerElement certificate = each.Read();
        if (certificate.Tag != der::kSequence) {
            continue;  // another kind of certificate (an attribute certificate) names no signer
        }
        DerReader parts(certificate);
        DerReader tbs(parts.Read(der::kSequence, "certificate's content"));
        tbs.ReadIf(der::Context(0));  // its version
        const DerElement serialNumber = tbs.Read(der::kInteger, "certificate's serial number");
        tbs.Read(der::kSequence, "certificate's signature algorithm");
        const DerElement certificateIssuer = tbs.Read(der::kSequence, "certificate's issuer");
        tbs.Read(der::kSequence, "certificate's validity");
        const DerElement subject = tbs.Read(der::kSequence, "certificate's subject");
        if (std::ranges::equal(serialNumber.Content, serial) && std::ranges::equal(certificateIssuer.Whole, issuer)) {
            return CommonName(subject);
        }
    }
    return std::nullopt;
}

// ContentInfo { signedData, [0] SignedData { version, digestAlgorithms, contentInfo { SpcIndirectData, [0]
// content }, [0] certificates OPTIONAL, [1] crls OPTIONAL, signerInfos SET OF SignerInfo { version, sid
// IssuerAndSerialNumber { issuer, serial }, ... } } }.
AuthenticodeSignature ReadSignedData(Bytes pkcs7) {
    DerReader outer(pkcs7);
    DerReader contentInfo(outer.Read(der::kSequence, "content information"));
    if (!Is(contentInfo.Read(der::kOid, "content type").Content, kSignedData)) {
        Broken("its content is not PKCS#7 signed data");
    }
    DerReader explicitContent(contentInfo.Read(der::Context(0), "signed data"));
    DerReader signedData(explicitContent.Read(der::kSequence, "signed data"));
    signedData.Read(der::kInteger, "signed data's version");
    signedData.Read(der::kSet, "digest algorithms");
    DerReader encapsulated(signedData.Read(der::kSequence, "signed content"));
    if (!Is(encapsulated.Read(der::kOid, "signed content's type").Content, kSpcIndirectData)) {
        Broken("the signed content is not Authenticode's indirect data");
    }
    DerReader explicitIndirect(encapsulated.Read(der::Context(0), "indirect data"));
    AuthenticodeSignature signature;
    ReadIndirectData(explicitIndirect.Read(der::kSequence, "indirect data"), signature);

    const std::optional<DerElement> certificates = signedData.ReadIf(der::Context(0));
    signedData.ReadIf(der::Context(1));  // revocation lists
    DerReader signers(signedData.Read(der::kSet, "signer information"));
    DerReader signer(signers.Read(der::kSequence, "signer"));
    signer.Read(der::kInteger, "signer's version");
    // A signer named by a key identifier rather than by issuer and serial number is not Authenticode's way;
    // its certificate stays unknown.
    if (const std::optional<DerElement> sid = signer.ReadIf(der::kSequence); sid && certificates) {
        DerReader issuerAndSerial(*sid);
        const DerElement issuer = issuerAndSerial.Read(der::kSequence, "signer's issuer");
        const DerElement serial = issuerAndSerial.Read(der::kInteger, "signer's serial number");
        signature.Signer = SignerName(*certificates, issuer.Whole, serial.Content);
    }
    return signature;
}

template <typename Hash>
std::vector<std::uint8_t> Hashed(Bytes image, const std::vector<Region>& leftOut) {
    Hash hash;
    std::uint64_t at = 0;
    for (const Region& region : leftOut) {
        const std::uint64_t begin = std::min<std::uint64_t>(region.Begin, image.size());
        if (begin > at) {
            hash.Update(image.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(begin - at)));
        }
        at = std::max(at, std::min<std::uint64_t>(region.End, image.size()));
    }
    hash.Update(image.subspan(static_cast<std::size_t>(at)));
    const auto digest = hash.Finish();
    return {digest.begin(), digest.end()};
}

}  // namespace

const char* DigestAlgorithmName(DigestAlgorithm algorithm) {
    return algorithm == DigestAlgorithm::Sha1 ? "SHA-1" : "SHA-256";
}

std::optional<AuthenticodeSignature> ReadAuthenticode(const PeReader& program) {
    const Region table = CertificateTable(program);
    if (table.End == table.Begin) {
        return std::nullopt;
    }
    CheckPlace(program, table);
    const Bytes bytes = program.Image().subspan(static_cast<std::size_t>(table.Begin),
                                                static_cast<std::size_t>(table.End - table.Begin));
    return ReadSignedData(SignedDataEntry(bytes));
}

std::vector<std::uint8_t> AuthenticodeDigest(const PeReader& program, DigestAlgorithm algorithm) {
    const PeReader::HeaderPlaces& places = program.Places();
    const std::uint64_t checksum = places.Optional + optional::kCheckSum;
    std::vector<Region> leftOut = {{checksum, checksum + 4}};
    if (places.DataDirectoryCount > kCertificateTable) {
        const std::uint64_t entry = places.DataDirectories + kCertificateTable * optional::kDataDirectoryEntrySize;
        leftOut.push_back({entry, entry + optional::kDataDirectoryEntrySize});
    }
    if (const Region table = CertificateTable(program); table.End != table.Begin) {
        leftOut.push_back(table);
    }
    std::ranges::sort(leftOut, {}, &Region::Begin);
    return algorithm == DigestAlgorithm::Sha1 ? Hashed<Sha1>(program.Image(), leftOut)
                                              : Hashed<Sha256>(program.Image(), leftOut);
}

}  // namespace patcher::pe

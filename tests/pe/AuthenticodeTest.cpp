// The Authenticode signature of a program, on signatures built here element by element: what is read of it,
// what its digest covers, and refusals of tables and DER that break the layout. (A signature that
// osslsigncode made is read in the maintainers' tool's tests.)
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/pe/PeBuilder.h"
#include "tests/pe/SignedImage.h"
#include "tools/pe/Authenticode.h"
#include "tools/pe/Der.h"
#include "tools/pe/PeErrors.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"

namespace patcher::pe {
namespace {

using testing::Cat;
using testing::Certificate;
using testing::CertificateEntry;
using testing::Der;
using testing::DerBytes;
using testing::Name;
using testing::SignedData;
using testing::SignedDataParts;
using testing::WithCertificateTable;

std::vector<std::uint8_t> Program() {
    testing::PeBuilder builder;
    builder.Resources = {{10, u"PATCHTABLES", 300}};
    return builder.Build();
}

// The program signed for its own digest by "Podpisujący Żółw", whose certificate comes second.
SignedDataParts SignedFor(const std::vector<std::uint8_t>& program, DigestAlgorithm algorithm) {
    SignedDataParts parts;
    parts.DigestOid = algorithm == DigestAlgorithm::Sha1 ? testing::kSha1Oid : testing::kSha256Oid;
    parts.Digest = AuthenticodeDigest(PeReader(program), algorithm);
    parts.SignerIssuer = Name("Qordex CA");
    parts.SignerSerial = 7;
    parts.Certificates = Cat({Certificate(1, Name("Qordex CA"), Name("Qordex CA")),
                              Certificate(7, Name("Qordex CA"), Name("Podpisujący Żółw"))});
    return parts;
}

std::vector<std::uint8_t> Signed(const std::vector<std::uint8_t>& program, const SignedDataParts& parts) {
    return WithCertificateTable(program, CertificateEntry(SignedData(parts)));
}

std::string Refusal(const std::vector<std::uint8_t>& image) {
    try {
        ReadAuthenticode(PeReader(image));
    } catch (const BrokenSignature& refusal) {
        return refusal.what();
    }
    return "read";
}

TEST(Authenticode, ReadsTheSignersNameAndTheDigestThatItSigned) {
    const std::vector<std::uint8_t> program = Program();
    EXPECT_EQ(ReadAuthenticode(PeReader(program)), std::nullopt);
    for (const DigestAlgorithm algorithm : {DigestAlgorithm::Sha1, DigestAlgorithm::Sha256}) {
        const std::vector<std::uint8_t> image = Signed(program, SignedFor(program, algorithm));
        const PeReader reader(image);
        const std::optional<AuthenticodeSignature> signature = ReadAuthenticode(reader);
        ASSERT_TRUE(signature.has_value());
        EXPECT_EQ(signature->Algorithm, algorithm);
        EXPECT_EQ(signature->Signer, "Podpisujący Żółw");
        EXPECT_EQ(signature->SignedDigest.size(), algorithm == DigestAlgorithm::Sha1 ? 20U : 32U);
        // The table and its entry in the header are no part of the digest.
        EXPECT_EQ(signature->SignedDigest, AuthenticodeDigest(reader, algorithm));
    }
}

TEST(Authenticode, NamesNoSignerWhoseCertificateIsMissingAndAnEmptyNameWithoutACommonName) {
    const std::vector<std::uint8_t> program = Program();
    SignedDataParts parts = SignedFor(program, DigestAlgorithm::Sha256);
    parts.SignerSerial = 9;
    EXPECT_EQ(ReadAuthenticode(PeReader(Signed(program, parts)))->Signer, std::nullopt);
    parts.Certificates.clear();
    EXPECT_EQ(ReadAuthenticode(PeReader(Signed(program, parts)))->Signer, std::nullopt);
    parts = SignedFor(program, DigestAlgorithm::Sha256);
    parts.Certificates = Certificate(7, Name("Qordex CA"), Name("", false));
    EXPECT_EQ(ReadAuthenticode(PeReader(Signed(program, parts)))->Signer, "");
}

TEST(Authenticode, TheDigestCoversEveryByteButTheChecksumTheTablesEntryAndTheTable) {
    const std::vector<std::uint8_t> program = Program();
    const std::vector<std::uint8_t> image = Signed(program, SignedFor(program, DigestAlgorithm::Sha256));
    const PeReader reader(image);
    const std::vector<std::uint8_t> digest = AuthenticodeDigest(reader, DigestAlgorithm::Sha256);
    const std::size_t checksum = reader.Places().Optional + optional::kCheckSum;
    const std::size_t entry = reader.Places().DataDirectories + kCertificateTable * optional::kDataDirectoryEntrySize;
    for (std::size_t at = 0; at < image.size(); at += 1 + at / 64) {
        std::vector<std::uint8_t> changed = image;
        changed[at] ^= 0x01;
        const bool leftOut =
            (at >= checksum && at < checksum + 4) || (at >= entry && at < entry + 8) || at >= program.size();
        if (leftOut) {
            continue;  // a changed entry may no longer name a table: what is left out is checked below
        }
        try {
            EXPECT_NE(AuthenticodeDigest(PeReader(changed), DigestAlgorithm::Sha256), digest) << "byte " << at;
        } catch (const BrokenImage&) {
            // a header that no longer reads (its magic, its place) has no digest to compare
        }
    }
    for (const std::size_t at : {checksum, checksum + 3, image.size() - 1, program.size() + 9}) {
        std::vector<std::uint8_t> changed = image;
        changed[at] ^= 0x5A;
        EXPECT_EQ(AuthenticodeDigest(PeReader(changed), DigestAlgorithm::Sha256), digest) << "byte " << at;
    }
    // The entry's own bytes: one table more or less in the header leaves the digest of what stays.
    EXPECT_EQ(AuthenticodeDigest(PeReader(program), DigestAlgorithm::Sha256), digest);
}

TEST(Authenticode, RefusesTablesThatLieOutsideTheFileOrOverTheProgram) {
    const std::vector<std::uint8_t> program = Program();
    const std::vector<std::uint8_t> image = Signed(program, SignedFor(program, DigestAlgorithm::Sha256));
    const std::size_t entry =
        PeReader(image).Places().DataDirectories + kCertificateTable * optional::kDataDirectoryEntrySize;
    const auto withEntry = [&](std::uint32_t offset, std::uint32_t size) {
        std::vector<std::uint8_t> changed = image;
        Store32(changed, entry, offset);
        Store32(changed, entry + 4, size);
        return changed;
    };
    const auto tableSize = static_cast<std::uint32_t>(image.size() - program.size());
    const auto end = static_cast<std::uint32_t>(program.size());
    EXPECT_EQ(Refusal(withEntry(end, tableSize + 1)),
              "the signature cannot be read: the certificate table lies outside the file");
    EXPECT_EQ(Refusal(withEntry(0xFFFFFFF0, 0x20)),
              "the signature cannot be read: the certificate table lies outside the file");
    EXPECT_EQ(Refusal(withEntry(end - 8, tableSize + 8)),
              "the signature cannot be read: the certificate table overlaps the program's headers or sections");
    EXPECT_EQ(Refusal(withEntry(0, static_cast<std::uint32_t>(image.size()))),
              "the signature cannot be read: the certificate table overlaps the program's headers or sections");
}

TEST(Authenticode, RefusesEntriesThatRunPastTheTableOrEndItNever) {
    const std::vector<std::uint8_t> program = Program();
    const DerBytes pkcs7 = SignedData(SignedFor(program, DigestAlgorithm::Sha256));
    DerBytes zeroLength = CertificateEntry(pkcs7);
    Store32(zeroLength, 0, 0);  // read as a length of nothing, it would never move on
    EXPECT_EQ(Refusal(WithCertificateTable(program, zeroLength)),
              "the signature cannot be read: a certificate entry's length leads outside the table");
    DerBytes tooLong = CertificateEntry(pkcs7);
    Store32(tooLong, 0, static_cast<std::uint32_t>(tooLong.size() + 1));
    EXPECT_EQ(Refusal(WithCertificateTable(program, tooLong)),
              "the signature cannot be read: a certificate entry's length leads outside the table");
    EXPECT_EQ(Refusal(WithCertificateTable(program, DerBytes(4, 0xFF))),
              "the signature cannot be read: a certificate entry is cut short");
    // An X.509 entry (type 1) and one of an unknown revision are passed over; then nothing is left.
    EXPECT_EQ(Refusal(WithCertificateTable(program, Cat({CertificateEntry(pkcs7, 1), CertificateEntry(pkcs7, 2, 3)}))),
              "the signature cannot be read: the certificate table holds no PKCS#7 signed data");
    const std::vector<std::uint8_t> second =
        WithCertificateTable(program, Cat({CertificateEntry(pkcs7, 1), CertificateEntry(pkcs7)}));
    EXPECT_EQ(ReadAuthenticode(PeReader(second))->Signer, "Podpisujący Żółw");
}

TEST(Authenticode, RefusesDigestsOfOtherAlgorithmsOrLengths) {
    const std::vector<std::uint8_t> program = Program();
    SignedDataParts parts = SignedFor(program, DigestAlgorithm::Sha256);
    parts.DigestOid = testing::kSha512Oid;
    EXPECT_EQ(Refusal(Signed(program, parts)),
              "the signature cannot be read: the file's digest is of the algorithm 2.16.840.1.101.3.4.2.3, neither "
              "SHA-1 nor SHA-256");
    parts = SignedFor(program, DigestAlgorithm::Sha256);
    parts.DigestOid = testing::kSha1Oid;
    EXPECT_EQ(Refusal(Signed(program, parts)), "the signature cannot be read: a digest of 32 bytes for SHA-1");
}

// Every signature cut short, and every length byte of it made larger, is refused: nothing is read outside it.
TEST(Authenticode, RefusesEverySignatureCutShortOrWithALengthPastItsEnd) {
    const std::vector<std::uint8_t> program = Program();
    const DerBytes pkcs7 = SignedData(SignedFor(program, DigestAlgorithm::Sha256));
    for (std::size_t size = 0; size < pkcs7.size(); ++size) {
        const DerBytes cut(pkcs7.begin(), pkcs7.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_NE(Refusal(WithCertificateTable(program, CertificateEntry(cut))), "read") << size << " bytes";
    }
    // The outer element's length: one more than there is.
    DerBytes longer = pkcs7;
    ASSERT_EQ(longer[1], 0x82);
    longer[3] = static_cast<std::uint8_t>(longer[3] + 1);
    EXPECT_EQ(Refusal(WithCertificateTable(program, CertificateEntry(longer))),
              "the signature cannot be read: an element is longer than the bytes around it");
}

TEST(Der, RefusesWhatDerDoesNotAllow) {
    const auto refusal = [](const DerBytes& bytes) {
        try {
            DerReader(bytes).Read();
        } catch (const BrokenSignature& refused) {
            return std::string(refused.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(refusal({0x30, 0x80, 0x00, 0x00}),
              "the signature cannot be read: an indefinite length, which DER does not allow");
    EXPECT_EQ(refusal({0x30, 0x85, 1, 0, 0, 0, 0}), "the signature cannot be read: a length of more than four bytes");
    EXPECT_EQ(refusal({0x30, 0x84, 0xFF, 0xFF}), "the signature cannot be read: a length is cut short");
    EXPECT_EQ(refusal({0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0}),
              "the signature cannot be read: an element is longer than the bytes around it");
    EXPECT_EQ(refusal({0x1F, 0x81, 0x00}), "the signature cannot be read: a tag of more than one byte");
    EXPECT_EQ(refusal({0x30}), "the signature cannot be read: an element is cut short");
    EXPECT_EQ(refusal({0x04, 0x81, 0x01, 0x2A}), "read");

    const DerBytes two = {0x02, 0x01, 0x05, 0x04, 0x00};
    DerReader reader(two);
    EXPECT_EQ(reader.ReadIf(0x04), std::nullopt);
    EXPECT_EQ(reader.Read(0x02, "number").Content.size(), 1U);
    EXPECT_THROW(reader.Read(0x02, "number"), BrokenSignature);
    EXPECT_EQ(reader.Read(0x04, "text").Whole.size(), 2U);
    EXPECT_TRUE(reader.AtEnd());
}

TEST(Der, ReadsObjectIdentifiersAndNamesInEveryStringType) {
    EXPECT_EQ(OidText(testing::kSha1Oid), "1.3.14.3.2.26");
    EXPECT_EQ(OidText(testing::kSha512Oid), "2.16.840.1.101.3.4.2.3");
    EXPECT_THROW(OidText(DerBytes{0x2B, 0x86}), BrokenSignature);
    EXPECT_THROW(OidText(DerBytes(12, 0xFF)), BrokenSignature);

    const auto name = [](std::uint8_t tag, const DerBytes& content) {
        return DirectoryString({tag, content, content});
    };
    EXPECT_EQ(name(der::kUtf8String, {'Z', 0xC3, 0xB3, 0xC5, 0x82, 'w'}), "Zółw");
    // A byte that starts no character, an overlong form and a character cut short each become U+FFFD.
    EXPECT_EQ(name(der::kUtf8String, {'a', 0xFF, 0xC0, 0x80, 'b', 0xE2, 0x82}), "a\uFFFD\uFFFD\uFFFDb\uFFFD\uFFFD");
    EXPECT_EQ(name(der::kTeletexString, {'Z', 0xF3}), "Zó");
    EXPECT_EQ(name(der::kBmpString, {0x00, 'Z', 0x01, 0x7C, 0xD8, 0x3D, 0xDE, 0x00, 0xDC, 0x00}), "Zż😀\uFFFD");
    EXPECT_EQ(name(der::kUniversalString, {0, 0, 0, 'Z', 0, 1, 0xF6, 0x00, 0x7F, 0, 0, 0}), "Z😀\uFFFD");
    EXPECT_THROW(name(der::kInteger, {1}), BrokenSignature);
}

}  // namespace
}  // namespace patcher::pe

// The certificate reader's conformance suite. Certificates are built field by
// field, so that each case fixes the bytes a reader must render: names as
// CertNameToStrA renders them, the common name as CertGetNameStringA finds
// it, the public key as a PUBLICKEYBLOB, validity bounds to the second.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "crypto/Digests.h"
#include "encoding/DerBuilder.h"
#include "encoding/DerCursor.h"
#include "unit/platform/PlatformConformance.h"

namespace pennaform::platform::test {
namespace {

using namespace std::chrono;

struct Attribute {
    std::string oid;
    std::uint8_t tag = derTags::kUtf8String;
    Bytes value;
};
using Rdn = std::vector<Attribute>;
using Name = std::vector<Rdn>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// utf8: one UTF8String attribute, the usual case.
Attribute utf8(std::string oid, std::string_view value) {
    return {std::move(oid), derTags::kUtf8String, bytesOf(value)};
}

constexpr std::string_view kCommonName = "2.5.4.3";
constexpr std::string_view kRsaEncryption = "1.2.840.113549.1.1.1";
constexpr std::string_view kEcPublicKey = "1.2.840.10045.2.1";

struct Bound {
    DerTime at;
    bool generalized = false;
};

// modulusOf: a big-endian modulus of `bytes` bytes with its top bit set.
Bytes modulusOf(std::size_t bytes) {
    Bytes modulus(bytes);
    for (std::size_t i = 0; i < bytes; ++i) modulus[i] = std::uint8_t(i * 37 + 11);
    modulus.front() |= 0x80;
    modulus.back() |= 0x01;
    return modulus;
}

struct CertificateParts {
    Name subject{{utf8(std::string(kCommonName), "subject")}};
    Name issuer{{utf8(std::string(kCommonName), "issuer")}};
    Bytes serial{0x01};
    Bound notBefore{{2020, 1, 1, 0, 0, 0}};
    Bound notAfter{{2030, 1, 1, 0, 0, 0}};
    bool rsaKey = true;
    Bytes modulus = modulusOf(128);
    Bytes exponent{0x01, 0x00, 0x01};
    std::optional<Bytes> keyUsage;  // the BIT STRING's contents, unused-bit count first
    std::optional<Name> altDirectoryName;
};

void addName(DerScope parent, const Name& name) {
    DerScope rdns = parent.sequence();
    for (const Rdn& rdn : name) {
        DerScope set = rdns.set();  // attributes stay in the order given
        for (const Attribute& attribute : rdn) {
            DerScope atv = set.sequence();
            atv.addOid(attribute.oid);
            if ((attribute.tag & derTags::kConstructedBit) != 0) {
                Bytes element{attribute.tag, std::uint8_t(attribute.value.size())};
                element.insert(element.end(), attribute.value.begin(), attribute.value.end());
                atv.addElement(element);
            } else {
                atv.addPrimitive(attribute.tag, attribute.value);
            }
            atv.close();
        }
        set.close();
    }
    rdns.close();
}

void addAlgorithm(DerScope parent, std::string_view oid, std::optional<std::string_view> curve) {
    DerScope algorithm = parent.sequence();
    algorithm.addOid(oid);
    if (curve) {
        algorithm.addOid(*curve);
    } else {
        algorithm.addNull();
    }
    algorithm.close();
}

void addExtension(DerScope extensions, std::string_view oid, auto writeValue) {
    DerScope extension = extensions.sequence();
    extension.addOid(oid);
    DerScope value = extension.octetString();
    writeValue(value);
    value.close();
    extension.close();
}

// P-256's generator, a point every reader accepts as an EC public key.
const Bytes kP256Point = [] {
    Bytes point{0x04};
    for (std::uint8_t b :
         {0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6, 0xE5, 0x63,
          0xA4, 0x40, 0xF2, 0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB, 0x33, 0xA0, 0xF4, 0xA1,
          0x39, 0x45, 0xD8, 0x98, 0xC2, 0x96, 0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F,
          0x9B, 0x8E, 0xE7, 0xEB, 0x4A, 0x7C, 0x0F, 0x9E, 0x16, 0x2B, 0xCE, 0x33, 0x57,
          0x6B, 0x31, 0x5E, 0xCE, 0xCB, 0xB6, 0x40, 0x68, 0x37, 0xBF, 0x51, 0xF5}) {
        point.push_back(b);
    }
    return point;
}();

// certificate: the DER certificate of `parts`, under a signature no reader
// checks.
Bytes certificate(const CertificateParts& parts) {
    DerBuilder builder;
    DerScope whole = builder.sequence();
    DerScope tbs = whole.sequence();
    DerScope version = tbs.contextConstructed(0);
    version.addInteger(2);
    version.close();
    tbs.addPrimitive(derTags::kInteger, parts.serial);
    addAlgorithm(tbs, "1.2.840.113549.1.1.11", std::nullopt);
    addName(tbs, parts.issuer);
    DerScope validity = tbs.sequence();
    for (const Bound& bound : {parts.notBefore, parts.notAfter}) {
        if (bound.generalized) {
            validity.addGeneralizedTime(bound.at);
        } else {
            validity.addUtcTime(bound.at);
        }
    }
    validity.close();
    addName(tbs, parts.subject);
    DerScope keyInfo = tbs.sequence();
    if (parts.rsaKey) {
        addAlgorithm(keyInfo, kRsaEncryption, std::nullopt);
        DerScope bits = keyInfo.bitString();
        DerScope key = bits.sequence();
        key.addUnsignedInteger(parts.modulus).addUnsignedInteger(parts.exponent);
        key.close();
        bits.close();
    } else {
        addAlgorithm(keyInfo, kEcPublicKey, "1.2.840.10045.3.1.7");
        DerScope bits = keyInfo.bitString();
        bits.addRaw(kP256Point);
        bits.close();
    }
    keyInfo.close();
    if (parts.keyUsage || parts.altDirectoryName) {
        DerScope tagged = tbs.contextConstructed(3);
        DerScope extensions = tagged.sequence();
        if (parts.keyUsage) {
            addExtension(extensions, "2.5.29.15", [&](DerScope value) {
                value.addPrimitive(derTags::kBitString, *parts.keyUsage);
            });
        }
        if (parts.altDirectoryName) {
            addExtension(extensions, "2.5.29.17", [&](DerScope value) {
                DerScope names = value.sequence();
                DerScope directoryName = names.contextConstructed(4);
                addName(directoryName, *parts.altDirectoryName);
                directoryName.close();
                names.close();
            });
        }
        extensions.close();
        tagged.close();
    }
    tbs.close();
    addAlgorithm(whole, "1.2.840.113549.1.1.11", std::nullopt);
    whole.addPrimitive(derTags::kBitString, Bytes{0x00, 0x5A, 0x5A});
    whole.close();
    std::optional<Bytes> der = builder.finish();
    EXPECT_TRUE(der.has_value());
    return der.value_or(Bytes{});
}

FileTime fileTimeOf(sys_seconds at) {
    constexpr std::int64_t kUnixEpochTicks = 116444736000000000;
    return FileTime{std::uint64_t(kUnixEpochTicks + at.time_since_epoch().count() * 10000000)};
}

TEST_P(CertificateReaderConformance, NamesRenderAsTheWindowsNameApisDo) {
    const std::string cn(kCommonName);
    const std::string longValue(150, 'x');
    struct Case {
        const char* what;
        Name subject;
        std::optional<Name> altDirectoryName;
        std::string name;
        std::string commonName;
    };
    const std::vector<Case> cases = {
        {"RDNs in encoded order, keys as Windows prints them",
         {{{"2.5.4.6", derTags::kPrintableString, bytesOf("US")}},
          {{"2.5.4.8", derTags::kPrintableString, bytesOf("Minnesota")}},
          {{"2.5.4.7", derTags::kPrintableString, bytesOf("Minneapolis")}},
          {utf8("2.5.4.10", "CodeWeavers")},
          {utf8("2.5.4.11", "Wine Development")},
          {utf8(cn, "localhost")},
          {{"1.2.840.113549.1.9.1", derTags::kIa5String, bytesOf("aric@codeweavers.com")}}},
         std::nullopt,
         "C=US, S=Minnesota, L=Minneapolis, O=CodeWeavers, OU=Wine Development, CN=localhost, "
         "E=aric@codeweavers.com",
         "localhost"},
        {"the rest of the key table; no common name",
         {{utf8("2.5.4.4", "sn")},
          {utf8("2.5.4.5", "42")},
          {utf8("2.5.4.9", "street")},
          {utf8("2.5.4.12", "title")},
          {utf8("2.5.4.13", "about")},
          {utf8("2.5.4.17", "12345")},
          {utf8("2.5.4.18", "box")},
          {utf8("2.5.4.20", "555")},
          {utf8("2.5.4.24", "x21")},
          {utf8("2.5.4.42", "given")},
          {utf8("2.5.4.43", "i")},
          {utf8("2.5.4.46", "q")},
          {{"0.9.2342.19200300.100.1.25", derTags::kIa5String, bytesOf("example")}},
          {utf8("0.9.2342.19200300.100.1.1", "uid")}},
         std::nullopt,
         "SN=sn, SERIALNUMBER=42, STREET=street, T=title, Description=about, PostalCode=12345, "
         "POBox=box, Phone=555, X21Address=x21, G=given, I=i, dnQualifier=q, DC=example, UID=uid",
         ""},
        {"several common names: the last in encoded order is the one",
         {{utf8(cn, "outer")}, {utf8("2.5.4.11", "unit"), utf8(cn, "inner")}},
         std::nullopt,
         "CN=outer, OU=unit + CN=inner",
         "inner"},
        {"an unknown type is keyed by its OID; a value that is no string in hex",
         {{utf8("1.2.3.4", "value")}, {{"2.5.4.11", derTags::kSequence, Bytes{0x02, 0x01, 0x01}}}},
         std::nullopt,
         "OID.1.2.3.4=value, OU=#3003020101",
         ""},
        {"values are never quoted, and a long common name is whole",
         {{utf8(cn, " a, b + c = \"d\" <e> #f; ")}, {utf8("2.5.4.11", longValue)}},
         std::nullopt,
         "CN= a, b + c = \"d\" <e> #f; , OU=" + longValue,
         " a, b + c = \"d\" <e> #f; "},
        {"every string type",
         {{{"2.5.4.11", derTags::kBmpString, Bytes{0x00, 'B', 0x00, 'm'}}},
          {{"2.5.4.11", derTags::kUniversalString, Bytes{0, 0, 0, 'U'}}},
          {{"2.5.4.11", derTags::kT61String, bytesOf("t61")}},
          {{"2.5.4.11", derTags::kNumericString, bytesOf("123")}},

          {{cn, derTags::kBmpString, Bytes{0x00, 'w', 0x00, 'i', 0x00, 'd', 0x00, 'e'}}}},
         std::nullopt,
         "OU=Bm, OU=U, OU=t61, OU=123, CN=wide",
         "wide"},
        {"an empty subject takes its common name from the alternative name",
         {},
         Name{{utf8("2.5.4.10", "org")}, {utf8(cn, "alternative")}},
         "",
         "alternative"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateParts parts;
        parts.subject = c.subject;
        parts.altDirectoryName = c.altDirectoryName;
        Outcome<CertificateInfo> info = reader().parse(certificate(parts));
        ASSERT_TRUE(info.ok()) << std::hex << info.error();
        EXPECT_EQ(info->subjectName, c.name);
        EXPECT_EQ(info->subjectCommonName, c.commonName);
        EXPECT_EQ(info->issuerName, "CN=issuer");
        EXPECT_EQ(info->issuerCommonName, "issuer");
    }
}

TEST_P(CertificateReaderConformance, SerialThumbprintKeyUsageAndValidity) {
    struct Case {
        const char* what;
        Bytes serial;
        std::optional<Bytes> keyUsage;
        std::optional<std::uint8_t> keyUsageByte;
        Bound notBefore;
        Bound notAfter;
        sys_seconds expectedNotBefore;
        sys_seconds expectedNotAfter;
    };
    const std::vector<Case> cases = {
        {"UTCTime at both ends of its century, no key usage",
         {0x01},
         std::nullopt,
         std::nullopt,
         {{1950, 1, 1, 0, 0, 0}},
         {{2049, 12, 31, 23, 59, 59}},
         sys_days{1950y / 1 / 1},
         sys_days{2049y / 12 / 31} + 23h + 59min + 59s},
        {"GeneralizedTime; a serial with its leading zero; digitalSignature",
         {0x00, 0x80, 0x01},
         Bytes{0x07, 0x80},
         0x80,
         {{2050, 1, 1, 12, 30, 5}, true},
         {{9999, 12, 31, 23, 59, 59}, true},
         sys_days{2050y / 1 / 1} + 12h + 30min + 5s,
         sys_days{9999y / 12 / 31} + 23h + 59min + 59s},
        {"two bytes of key usage: the first counts",
         {0x7F, 0xFF},
         Bytes{0x07, 0xA0, 0x80},
         0xA0,
         {{2000, 2, 29, 0, 0, 0}},
         {{2000, 3, 1, 0, 0, 0}},
         sys_days{2000y / 2 / 29},
         sys_days{2000y / 3 / 1}},
        {"an empty key usage is zero",
         {0x02},
         Bytes{0x00},
         0x00,
         {{2020, 1, 1, 0, 0, 0}},
         {{2020, 1, 1, 0, 0, 0}},
         sys_days{2020y / 1 / 1},
         sys_days{2020y / 1 / 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CertificateParts parts;
        parts.serial = c.serial;
        parts.keyUsage = c.keyUsage;
        parts.notBefore = c.notBefore;
        parts.notAfter = c.notAfter;
        const Bytes der = certificate(parts);
        Outcome<CertificateInfo> info = reader().parse(der);
        ASSERT_TRUE(info.ok()) << std::hex << info.error();
        EXPECT_EQ(info->serialNumber, c.serial);
        Sha1Digest sha1;
        ASSERT_TRUE(sha1.compute(der.data(), der.size()));
        EXPECT_EQ(info->thumbprint, Bytes(sha1.bytes().begin(), sha1.bytes().end()));
        EXPECT_EQ(info->keyUsage, c.keyUsageByte);
        EXPECT_EQ(info->notBefore, fileTimeOf(c.expectedNotBefore));
        EXPECT_EQ(info->notAfter, fileTimeOf(c.expectedNotAfter));
        // Both bounds are inside the validity, to the tick.
        EXPECT_EQ(timeValidity(*info, FileTime{info->notBefore.ticks - 1}), -1);
        EXPECT_EQ(timeValidity(*info, info->notBefore), 0);
        EXPECT_EQ(timeValidity(*info, info->notAfter), 0);
        EXPECT_EQ(timeValidity(*info, FileTime{info->notAfter.ticks + 1}), 1);
    }
}

TEST_P(CertificateReaderConformance, PublicKeyBlobIsTheKeyExchangeBlob) {
    // bType 6, version 2, CALG_RSA_KEYX whatever the key usage, "RSA1", the
    // bit length and exponent as little-endian DWORDs, the modulus reversed.
    struct Case {
        std::size_t modulusBytes;
        Bytes exponent;
        std::optional<Bytes> keyUsage;
        Bytes header;
    };
    const std::vector<Case> cases = {
        {128, {0x01, 0x00, 0x01}, std::nullopt, {0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00,
                                                 0x00, 'R',  'S',  'A',  '1',  0x00, 0x04,
                                                 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}},
        {256,
         {0x03},
         Bytes{0x07, 0x80},  // signature only
         {0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 'R',  'S',
          'A',  '1',  0x00, 0x08, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modulusBytes);
        CertificateParts parts;
        parts.modulus = modulusOf(c.modulusBytes);
        parts.exponent = c.exponent;
        parts.keyUsage = c.keyUsage;
        Bytes expected = c.header;
        expected.insert(expected.end(), parts.modulus.rbegin(), parts.modulus.rend());
        Outcome<Bytes> blob = reader().rsaPublicKeyBlob(certificate(parts));
        ASSERT_TRUE(blob.ok()) << std::hex << blob.error();
        EXPECT_EQ(*blob, expected);
    }
    CertificateParts ec;
    ec.rsaKey = false;
    const Bytes ecCertificate = certificate(ec);
    EXPECT_TRUE(reader().parse(ecCertificate).ok());
    EXPECT_EQ(reader().rsaPublicKeyBlob(ecCertificate).error(), errors::kCryptEAsn1BadTag);
}

TEST_P(CertificateReaderConformance, BytesThatAreNoCertificateFailAsCryptDecodeObjectDoes) {
    const Bytes whole = certificate({});
    const Bytes cut(whole.begin(), whole.end() - 1);
    const struct {
        Bytes der;
        PlatformError error;
    } cases[] = {
        {{}, errors::kCryptEAsn1Eod},
        {{0x30}, errors::kCryptEAsn1Eod},
        {cut, errors::kCryptEAsn1Eod},
        {{0x31, 0x00}, errors::kCryptEAsn1BadTag},
        {{0x30, 0x03, 0x02, 0x01, 0x01}, errors::kCryptEAsn1Corrupt},
        {{0x30, 0x80, 0x00, 0x00}, errors::kCryptEAsn1Eod},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.der.size()));
        EXPECT_EQ(reader().parse(c.der).error(), c.error);
        EXPECT_EQ(reader().rsaPublicKeyBlob(c.der).error(), c.error);
    }
}

}  // namespace
}  // namespace pennaform::platform::test

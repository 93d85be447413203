// Tests of DerNode: the encodings it writes, the inputs its reader refuses,
// AlgorithmIdentifier and certificate decoding checked against OpenSSL, and
// a parse / re-encode round trip over every certificate the tests make and
// those other tools wrote.
#include "encoding/DerNode.h"

#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoding/DerBuilder.h"
#include "support/TestCa.h"

namespace pennaform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(std::string_view text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (c != ' ') digits.push_back(c);
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(std::uint8_t(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes encoded(DerNode& node, std::uint32_t tag, std::uint8_t classBits = derClass::kUniversal) {
    Bytes out;
    EXPECT_TRUE(node.encode(out, tag, classBits));
    return out;
}

// reencoded: `bytes` read as a tree of DerNodes (parseList into every
// constructed element) and written back with encode; nullopt when the
// reader refuses any part.
std::optional<Bytes> reencoded(DerView bytes, int depth = 0) {
    if (bytes.empty() || depth > 64) return std::nullopt;
    const std::uint8_t classBits = bytes[0] & 0xE0;
    DerNode node;
    Bytes out;
    if ((classBits & 0x20) == 0) {
        if (!node.parse(bytes, 0, classBits)) return std::nullopt;
        Bytes value;
        if (node.leadingOctet()) value.push_back(*node.leadingOctet());
        value.insert(value.end(), node.value().begin(), node.value().end());
        DerNode copy;
        copy.setValue(value, node.tag(), false);
        if (!copy.encode(out, node.tag(), classBits)) return std::nullopt;
        return out;
    }
    if (!node.parseList(bytes, 0, classBits)) return std::nullopt;
    Bytes contents;
    for (DerView child : node.children()) {
        std::optional<Bytes> part = reencoded(child, depth + 1);
        if (!part) return std::nullopt;
        contents.insert(contents.end(), part->begin(), part->end());
    }
    DerNode parent;
    parent.setValue(contents, node.tag(), false);
    if (!parent.encode(out, node.tag(), classBits)) return std::nullopt;
    return out;
}

TEST(DerNodeTest, WritesTheKnownEncodings) {
    DerNode node;
    const struct {
        Bytes integer;
        std::string der;
    } integers[] = {
        {{0x01}, "020101"}, {{0x80, 0x00}, "0203008000"}, {{0x00, 0x00, 0x7F}, "02017F"},
        {{}, "020100"},     {{0x00, 0x00}, "020100"},     {{0x00, 0x80}, "02020080"},
    };
    for (const auto& c : integers) {
        ASSERT_TRUE(node.setInteger(c.integer));
        EXPECT_EQ(encoded(node, derType::kInteger), hex(c.der)) << c.der;
    }
    const struct {
        std::string_view text;
        std::string der;
    } oids[] = {
        {"1.2.840.113549.1.7.2", "06092A864886F70D010702"},
        {"1.3.14.3.2.26", "06052B0E03021A"},
        {"2.16.840.1.101.3.4.2.1", "0609608648016503040201"},
        {"1 2 840 113549", "06062A864886F70D"},
        {"2.999", "06028837"},
        {"2.4294967215", "06058FFFFFFF7F"},
    };
    for (const auto& c : oids) {
        ASSERT_TRUE(node.setOid(c.text)) << c.text;
        EXPECT_EQ(encoded(node, derType::kOid), hex(c.der)) << c.text;
    }
    // A BIT STRING gets its unused-bits octet, a NULL no value at all.
    ASSERT_TRUE(node.setValue(hex("FF"), derType::kBitString, true));
    EXPECT_EQ(encoded(node, derType::kBitString), hex("030200FF"));
    ASSERT_TRUE(node.setValue({}, derType::kNull, false));
    EXPECT_EQ(encoded(node, derType::kNull), hex("0500"));
    // Lengths: the leading octet counts, the long form has no zero octets.
    for (const auto& [size, header] : std::vector<std::pair<std::size_t, std::string>>{
             {127, "047F"}, {128, "048180"}, {300, "0482012C"}, {65536, "0483010000"}}) {
        ASSERT_TRUE(node.setValue(Bytes(size, 0x11), derType::kOctetString, false));
        const Bytes der = encoded(node, derType::kOctetString);
        EXPECT_EQ(Bytes(der.begin(), der.begin() + std::ptrdiff_t(header.size() / 2)), hex(header));
        EXPECT_EQ(der.size(), size + header.size() / 2);
    }
    ASSERT_TRUE(node.setInteger(Bytes(127, 0xFF)));
    EXPECT_EQ(Bytes(encoded(node, derType::kInteger)).at(1), 0x81);
    // A context tag and a constructed class; tag numbers from 31 are refused.
    ASSERT_TRUE(node.setValue(hex("0500"), derType::kSequence, false));
    EXPECT_EQ(encoded(node, 0, derClass::kContextConstructed), hex("A0020500"));
    Bytes untouched{0x42};
    EXPECT_FALSE(node.encode(untouched, 31, derClass::kUniversal));
    EXPECT_FALSE(node.encode(untouched, 2, 0x01));
    EXPECT_EQ(untouched, Bytes{0x42});
}

TEST(DerNodeTest, RefusesObjectIdentifiersItCannotWrite) {
    DerNode node;
    for (std::string_view text :
         {"", "1", "3.1", "0.40", "1.40", "1.2.4294967296", "2.4294967216", "1..2", "1.2.", ".1.2",
          "1.2a", "1,2", "1.2.840.113549.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.1.268435456"}) {
        EXPECT_FALSE(node.setOid(text)) << text;
        EXPECT_TRUE(node.value().empty()) << text;
    }
    // 24 octets is the most: 1.2 and 22 one-octet arcs pass, a 23rd fails.
    std::string longest = "1.2";
    for (int i = 0; i < 23; ++i) longest += ".5";
    EXPECT_TRUE(node.setOid(longest));
    EXPECT_FALSE(node.setOid(longest + ".5"));
}

TEST(DerNodeTest, ReaderFailsCleanlyOnWhatIsNotDer) {
    const struct {
        std::string der;
        std::uint32_t tag;
        std::uint8_t classBits;
        const char* why;
    } refused[] = {
        {"0300", derType::kBitString, 0, "an empty BIT STRING has no unused-bits octet"},
        {"3080020101 0000", derType::kSequence, 0x20, "indefinite length"},
        {"04850000000001AA", derType::kOctetString, 0, "five length octets"},
        {"0484000000FF", derType::kOctetString, 0, "four length octets, beyond the buffer"},
        {"048105AABBCCDDEE", derType::kOctetString, 0, "a long form for a short length"},
        {"0403AABB", derType::kOctetString, 0, "length beyond the buffer"},
        {"1F8100020101", 0, 0, "a multi-octet tag"},
        {"020101", derType::kOctetString, 0, "another tag"},
        {"020101", derType::kInteger, 0x20, "another class"},
        {"02", 0, 0, "no length"},
        {"", 0, 0, "nothing"},
    };
    for (const auto& c : refused) {
        const Bytes bytes = hex(c.der);
        DerNode node;
        node.setValue(hex("AA"), derType::kOctetString, false);
        EXPECT_FALSE(node.parse(bytes, c.tag, c.classBits)) << c.why;
        EXPECT_TRUE(node.value().empty()) << c.why;
    }
    // Children: each must be one element inside the parent's value, and
    // parseList needs them to fill it exactly.
    const struct {
        std::string der;
        const char* why;
    } badChildren[] = {
        {"30051F81000101", "a child with a multi-octet tag"},
        {"3004020501FF", "a child running past its parent"},
        {"30040201010500", "a child cut short"},
        {"300402010100", "a byte left over"},
        {"3003048100", "a child with a non-minimal length"},
    };
    for (const auto& c : badChildren) {
        DerNode node;
        EXPECT_FALSE(node.parseList(hex(c.der), derType::kSequence, derClass::kConstructed))
            << c.why;
        EXPECT_TRUE(node.children().empty()) << c.why;
    }
    const Bytes three = hex("3009020101030200FF0500");
    DerNode sequence;
    ASSERT_TRUE(sequence.parseList(three, derType::kSequence, derClass::kConstructed));
    ASSERT_EQ(sequence.children().size(), 3u);
    DerNode bits;
    ASSERT_TRUE(bits.parse(sequence.children()[1], derType::kBitString, derClass::kUniversal));
    EXPECT_EQ(bits.leadingOctet(), 0x00);
    EXPECT_EQ(Bytes(bits.value().begin(), bits.value().end()), Bytes{0xFF});
    // Trailing bytes after one element are not the element's business.
    DerNode first;
    ASSERT_TRUE(first.parse(hex("0201010500"), derType::kInteger, derClass::kUniversal));
    EXPECT_EQ(first.encoding().size(), 3u);
}

TEST(DerNodeTest, DecodesAlgorithmIdentifiers) {
    const Bytes sha1Der = hex("300906052B0E03021A0500");
    const Bytes bareDer = hex("300706052B0E03021A");
    const auto sha1 = decodeAlgorithmIdentifier(sha1Der);
    ASSERT_TRUE(sha1);
    EXPECT_EQ(Bytes(sha1->oid.begin(), sha1->oid.end()), hex("2B0E03021A"));
    ASSERT_TRUE(sha1->parameters);
    EXPECT_EQ(Bytes(sha1->parameters->begin(), sha1->parameters->end()), hex("0500"));
    const auto bare = decodeAlgorithmIdentifier(bareDer);
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->parameters);
    EXPECT_FALSE(decodeAlgorithmIdentifier(hex("300B06052B0E03021A05000500")));  // two parameters
    EXPECT_FALSE(decodeAlgorithmIdentifier(hex("30030500")));                    // no OID first
    EXPECT_FALSE(decodeAlgorithmIdentifier(hex("310906052B0E03021A0500")));      // a SET
}

Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// bundleCertificates: the certificates of a PKCS#7 bundle in DER.
std::vector<Bytes> bundleCertificates(const Bytes& der) {
    const unsigned char* p = der.data();
    PKCS7* bundle = d2i_PKCS7(nullptr, &p, long(der.size()));
    std::vector<Bytes> out;
    if (bundle == nullptr) return out;
    STACK_OF(X509)* certificates = bundle->d.sign->cert;
    for (int i = 0; i < sk_X509_num(certificates); ++i) {
        unsigned char* encoding = nullptr;
        const int len = i2d_X509(sk_X509_value(certificates, i), &encoding);
        out.emplace_back(encoding, encoding + len);
        OPENSSL_free(encoding);
    }
    PKCS7_free(bundle);
    return out;
}

// checkAgainstOpenSsl: the decoded fields are those OpenSSL reads.
void checkAgainstOpenSsl(const Bytes& der, const CertificateView& view) {
    const unsigned char* p = der.data();
    X509* x509 = d2i_X509(nullptr, &p, long(der.size()));
    ASSERT_NE(x509, nullptr);
    unsigned char* issuer = nullptr;
    const int issuerLen = i2d_X509_NAME(X509_get_issuer_name(x509), &issuer);
    // The issuer's contents are the Name without its SEQUENCE header.
    EXPECT_TRUE(std::equal(view.issuer.begin(), view.issuer.end(),
                           issuer + (issuerLen - std::ptrdiff_t(view.issuer.size()))));
    OPENSSL_free(issuer);
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x509);
    unsigned char* serialDer = nullptr;
    const int serialLen = i2d_ASN1_INTEGER(serial, &serialDer);
    EXPECT_TRUE(std::equal(view.serialNumber.begin(), view.serialNumber.end(),
                           serialDer + (serialLen - std::ptrdiff_t(view.serialNumber.size()))));
    OPENSSL_free(serialDer);
    X509_free(x509);
}

// versionOne: `der` rewritten as a version-1 certificate: no [0] version
// and no extensions (the signature is no longer valid, which decoding does
// not look at).
Bytes versionOne(const Bytes& der) {
    DerNode certificate, tbs;
    EXPECT_TRUE(certificate.parseList(der, derType::kSequence, derClass::kConstructed));
    EXPECT_TRUE(
        tbs.parseList(certificate.children()[0], derType::kSequence, derClass::kConstructed));
    DerBuilder builder;
    DerScope outer = builder.sequence();
    DerScope inner = outer.sequence();
    for (std::size_t i = 1; i < 7; ++i) inner.addElement(tbs.children()[i]);
    inner.close();
    outer.addElement(certificate.children()[1]);
    outer.addElement(certificate.children()[2]);
    outer.close();
    return builder.finish().value_or(Bytes());
}

TEST(DerNodeTest, DecodesCertificatesAndWritesThemBack) {
    test::TestCa ca;
    struct Made {
        std::string name;
        std::vector<std::string> options;
    };
    const std::vector<Made> made = {
        {"root", {"--subject", "/C=TW/O=Example/CN=Root", "--ca", "--key-bits", "1024"}},
        {"leaf",
         {"--subject", "/C=TW/O=Example/CN=Leaf", "--issuer-cert", ca.path("root.der"),
          "--issuer-key", ca.path("root.key.pem"), "--serial", "80", "--key-bits", "1024",
          "--alt-dirname", "/C=TW/CN=Alternative"}},
        {"till2050",
         {"--subject", "/CN=Long Lived", "--not-after", "20500101000000Z", "--key-bits", "1024"}},
        {"allGeneralized",
         {"--subject", "/CN=Generalized", "--time-form", "generalized", "--key-bits", "1024"}},
        {"noUsage", {"--subject", "/CN=Plain", "--key-usage", "none", "--serial", "7F0102"}},
    };
    std::vector<Bytes> certificates;
    for (const Made& m : made) {
        std::optional<Bytes> der = ca.certificate(m.name, m.options);
        ASSERT_TRUE(der) << m.name << ": " << ca.lastError();
        certificates.push_back(*der);
    }
    for (const char* bundle : {"windows.p7c", "nss.p7c"}) {
        for (Bytes& der :
             bundleCertificates(readFile(std::string(PENNAFORM_TEST_DATA) + "/" + bundle)))
            certificates.push_back(std::move(der));
    }
    ASSERT_GT(certificates.size(), made.size());
    for (const Bytes& der : certificates) {
        std::optional<CertificateView> view = decodeCertificate(der);
        ASSERT_TRUE(view);
        checkAgainstOpenSsl(der, *view);
        EXPECT_EQ(reencoded(der), der);
        // One byte fewer, or one more, and it is no certificate.
        EXPECT_FALSE(decodeCertificate(DerView(der).first(der.size() - 1)));
        Bytes longer = der;
        longer.push_back(0);
        EXPECT_FALSE(decodeCertificate(longer));
        const Bytes v1 = versionOne(der);
        ASSERT_FALSE(v1.empty());
        EXPECT_FALSE(decodeCertificate(v1));
    }
    // The serial's contents are copied as they are, a negative one too.
    EXPECT_EQ(Bytes(decodeCertificate(certificates[1])->serialNumber.begin(),
                    decodeCertificate(certificates[1])->serialNumber.end()),
              hex("80"));
    EXPECT_EQ(std::string(decodeCertificate(certificates[2])->notAfter.begin(),
                          decodeCertificate(certificates[2])->notAfter.end()),
              "20500101000000Z");
}

}  // namespace
}  // namespace pennaform

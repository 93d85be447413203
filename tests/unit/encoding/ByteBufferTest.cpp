// Tests of ByteBuffer: the storage rules, the Base64 and hex codecs' known
// answers and lenient rules, and differential checks against OpenSSL's
// EVP_EncodeBlock / EVP_DecodeBlock.
#include "encoding/ByteBuffer.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace pennaform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes contentOf(const ByteBuffer& buffer) {
    return Bytes(buffer.bytes().begin(), buffer.bytes().end());
}

// expectEmpty: the empty state, as every failing operation must leave it.
void expectEmpty(const ByteBuffer& buffer) {
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(buffer.length(), 0);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_TRUE(buffer.text().empty());
}

// expectZeroTail: a non-empty content is followed by two zero bytes, so text
// in the buffer is also a C string.
void expectZeroTail(const ByteBuffer& buffer) {
    ASSERT_FALSE(buffer.empty());
    EXPECT_EQ(buffer.data()[buffer.length()], 0);
    EXPECT_EQ(buffer.data()[buffer.length() + 1], 0);
}

ByteBuffer filled(std::string_view text) {
    ByteBuffer buffer;
    EXPECT_TRUE(buffer.append(text.data(), std::int32_t(text.size())));
    return buffer;
}

Bytes randomBytes(std::mt19937& rng, std::size_t n) {
    Bytes out(n);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : out) b = std::uint8_t(byte(rng));
    return out;
}

std::string opensslEncode(const Bytes& in) {
    std::string out((in.size() + 2) / 3 * 4 + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), in.data(), int(in.size()));
    out.resize(std::size_t(n));
    return out;
}

// opensslDecode: EVP_DecodeBlock reports whole groups of three bytes; the
// '=' characters at the end say how many of those are padding.
Bytes opensslDecode(std::string_view text) {
    Bytes out(text.size() / 4 * 3 + 3);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  int(text.size()));
    if (n < 0) {
        ADD_FAILURE() << "OpenSSL rejects " << text.substr(0, 80);
        return {};
    }
    std::size_t pad = 0;
    while (pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;
    out.resize(std::size_t(n) - pad);
    return out;
}

std::string withCrLf(std::string_view lfText) {
    std::string out;
    for (char c : lfText) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    return std::string(data, std::size_t(n));
}

using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

// pemArmour: the bytes as OpenSSL writes them in PEM (64-character lines)
// under the given label, with CR LF line breaks.
std::string pemArmour(const Bytes& der, const char* label) {
    BioPtr bio(BIO_new(BIO_s_mem()), &BIO_free);
    EXPECT_GT(PEM_write_bio(bio.get(), label, "", der.data(), long(der.size())), 0);
    return withCrLf(bioText(bio.get()));
}

struct Certificate {
    Bytes der;
    std::string pem;  // CR LF line breaks
};

// makeCertificate: a self-signed P-256 certificate made by OpenSSL, as DER
// and as OpenSSL's own PEM text.
Certificate makeCertificate() {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), &X509_free);
    EXPECT_TRUE(key && cert);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 0x1234);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Test signer"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    EXPECT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);

    Certificate out;
    unsigned char* der = nullptr;
    const int derLen = i2d_X509(cert.get(), &der);
    EXPECT_GT(derLen, 0);
    out.der.assign(der, der + derLen);
    OPENSSL_free(der);

    BioPtr bio(BIO_new(BIO_s_mem()), &BIO_free);
    EXPECT_GT(PEM_write_bio_X509(bio.get(), cert.get()), 0);
    out.pem = withCrLf(bioText(bio.get()));
    return out;
}

// ---------------------------------------------------------------------------
// Storage

TEST(ByteBufferStorage, AllocateGivesZeroBytesAndRejectsNonPositiveSizes) {
    ByteBuffer buffer;
    expectEmpty(buffer);
    ASSERT_TRUE(buffer.allocate(5));
    EXPECT_EQ(contentOf(buffer), Bytes(5, 0));
    expectZeroTail(buffer);

    EXPECT_FALSE(buffer.allocate(0));
    expectEmpty(buffer);
    ASSERT_TRUE(buffer.allocate(1));
    EXPECT_FALSE(buffer.allocate(-3));
    expectEmpty(buffer);
}

TEST(ByteBufferStorage, AppendConcatenatesAndRefusesBadArgumentsWithoutChange) {
    ByteBuffer buffer;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string piece(std::size_t(i % 7 + 1), char('a' + i % 26));
        ASSERT_TRUE(buffer.append(piece.data(), std::int32_t(piece.size())));
        expected += piece;
        ASSERT_EQ(buffer.text(), expected);
        expectZeroTail(buffer);
    }

    EXPECT_FALSE(buffer.append(nullptr, 3));
    EXPECT_FALSE(buffer.append("xyz", 0));
    EXPECT_FALSE(buffer.append("xyz", -1));
    EXPECT_EQ(buffer.text(), expected);

    // A length that would take the content past INT32_MAX is refused before
    // a single byte is read.
    const char small[4] = {};
    EXPECT_FALSE(
        buffer.append(small, std::numeric_limits<std::int32_t>::max() - buffer.length() + 1));
    EXPECT_EQ(buffer.text(), expected);
}

TEST(ByteBufferStorage, OperationsAcceptTheBuffersOwnContent) {
    ByteBuffer buffer = filled("abc");
    // Repeated self-appends cross several growth steps.
    std::string expected = "abc";
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(buffer.append(buffer.data(), buffer.length()));
        expected += expected;
        ASSERT_EQ(buffer.text(), expected);
        expectZeroTail(buffer);
    }

    ByteBuffer reversed = filled("\x01\x02\x03\x04");
    ASSERT_TRUE(reversed.assignReversed(reversed.data(), reversed.length()));
    EXPECT_EQ(contentOf(reversed), (Bytes{4, 3, 2, 1}));

    ByteBuffer text = filled("YWJj");
    ASSERT_TRUE(text.base64Decode(text.text()));
    EXPECT_EQ(text.text(), "abc");
    ASSERT_TRUE(text.base64Encode(text.data(), text.length()));
    EXPECT_EQ(text.text(), "YWJj");
    ASSERT_TRUE(text.hexEncode(text.data(), text.length()));
    EXPECT_EQ(text.text(), "59574A6A");
    ASSERT_TRUE(text.hexDecode(text.text()));
    EXPECT_EQ(text.text(), "YWJj");

    // Encoders write more than they read: results that would fit the
    // buffer's own block must still not overwrite input that lies in it.
    for (int encoder = 0; encoder < 2; ++encoder) {
        ByteBuffer block;
        ASSERT_TRUE(block.allocate(60));
        for (int i = 0; i < 60; ++i) block.data()[i] = std::uint8_t(i * 37 + 11);
        const Bytes head(block.data(), block.data() + 30);
        if (encoder == 0) {
            ASSERT_TRUE(block.base64Encode(block.data(), 30));
            EXPECT_EQ(block.text(), opensslEncode(head));
        } else {
            ASSERT_TRUE(block.hexEncode(block.data(), 21));
            ASSERT_TRUE(block.hexDecode(block.text()));
            EXPECT_EQ(contentOf(block), Bytes(head.begin(), head.begin() + 21));
        }
    }
}

// A buffer used again for a result of similar size may write over its old
// block; nothing of the old content may show behind the new one.
TEST(ByteBufferStorage, ReusedBufferHoldsOnlyTheNewContent) {
    ByteBuffer buffer;
    const Bytes ones(600, 0xFF);
    ASSERT_TRUE(buffer.hexEncode(ones.data(), 600));
    ASSERT_EQ(buffer.text(), std::string(1200, 'F'));

    const Bytes in(899, 0x41);
    ASSERT_TRUE(buffer.base64Encode(in.data(), 899));
    EXPECT_EQ(buffer.text(), opensslEncode(in));
    expectZeroTail(buffer);

    // 1000 characters with line breaks decode to 660 bytes: shorter than
    // the block that held the 1200-character text.
    std::string wrapped;
    const std::string text = opensslEncode(Bytes(660, 0x42));
    for (std::size_t i = 0; i < text.size(); i += 10) wrapped += text.substr(i, 10) + "\r\n";
    ASSERT_TRUE(buffer.base64Decode(wrapped));
    EXPECT_EQ(contentOf(buffer), Bytes(660, 0x42));
    expectZeroTail(buffer);

    ASSERT_TRUE(buffer.hexDecode(std::string(1300, '7')));
    EXPECT_EQ(contentOf(buffer), Bytes(650, 0x77));
    expectZeroTail(buffer);
}

TEST(ByteBufferStorage, AssignReversedTurnsByteOrderAndClearsOnFailure) {
    ByteBuffer buffer;
    const std::uint8_t in[] = {0x01, 0x02, 0x03};
    ASSERT_TRUE(buffer.assignReversed(in, 3));
    EXPECT_EQ(contentOf(buffer), (Bytes{0x03, 0x02, 0x01}));
    expectZeroTail(buffer);

    EXPECT_FALSE(buffer.assignReversed(nullptr, 3));
    expectEmpty(buffer);
    ASSERT_TRUE(buffer.assignReversed(in, 1));
    EXPECT_EQ(contentOf(buffer), (Bytes{0x01}));
    EXPECT_FALSE(buffer.assignReversed(in, 0));
    expectEmpty(buffer);
}

TEST(ByteBufferStorage, MoveTransfersContentAndEmptiesTheSource) {
    ByteBuffer source = filled("payload");
    ByteBuffer moved(std::move(source));
    EXPECT_EQ(moved.text(), "payload");
    expectEmpty(source);

    ByteBuffer target = filled("old");
    target = std::move(moved);
    EXPECT_EQ(target.text(), "payload");
    expectZeroTail(target);
    expectEmpty(moved);

    source.release();
    expectEmpty(source);
}

// Every codec that fails must leave the buffer empty, whatever it held.
TEST(ByteBufferStorage, FailingCodecsLeaveTheBufferEmpty) {
    struct Case {
        const char* what;
        bool (*run)(ByteBuffer&);
    };
    static const std::uint8_t kOne = 1;
    const Case cases[] = {
        {"base64Encode null", [](ByteBuffer& b) { return b.base64Encode(nullptr, 3); }},
        {"base64Encode zero", [](ByteBuffer& b) { return b.base64Encode(&kOne, 0); }},
        {"base64Encode negative", [](ByteBuffer& b) { return b.base64Encode(&kOne, -1); }},
        {"base64Decode empty", [](ByteBuffer& b) { return b.base64Decode(""); }},
        {"base64Decode default", [](ByteBuffer& b) { return b.base64Decode({}); }},
        {"base64Decode blanks", [](ByteBuffer& b) { return b.base64Decode(" \r\n \r\n"); }},
        {"base64Decode leading NUL",
         [](ByteBuffer& b) { return b.base64Decode(std::string_view("\0YWJj", 5)); }},
        {"base64Decode no end line",
         [](ByteBuffer& b) { return b.base64Decode("-----BEGIN CERTIFICATE-----\r\nYWJj\r\n"); }},
        {"hexEncode null", [](ByteBuffer& b) { return b.hexEncode(nullptr, 2); }},
        {"hexEncode zero", [](ByteBuffer& b) { return b.hexEncode(&kOne, 0); }},
        {"hexDecode empty", [](ByteBuffer& b) { return b.hexDecode(""); }},
        {"hexDecode odd", [](ByteBuffer& b) { return b.hexDecode("ABC"); }},
        {"assignReversed null", [](ByteBuffer& b) { return b.assignReversed(nullptr, 2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteBuffer buffer = filled("previous content");
        EXPECT_FALSE(c.run(buffer));
        expectEmpty(buffer);
    }
}

// Output lengths past INT32_MAX are refused up front; the input is never
// read, so a short buffer stands in for the huge one.
TEST(ByteBufferStorage, EncodersRefuseOutputBeyondInt32) {
    const std::uint8_t small[4] = {};
    ByteBuffer buffer = filled("previous");
    // 4 * ceil(n / 3) first exceeds INT32_MAX at n = 1610612734.
    EXPECT_FALSE(buffer.base64Encode(small, 1610612734));
    expectEmpty(buffer);
    EXPECT_FALSE(buffer.base64Encode(small, std::numeric_limits<std::int32_t>::max()));
    expectEmpty(buffer);
    // 2 * n first exceeds INT32_MAX at n = 2^30.
    EXPECT_FALSE(buffer.hexEncode(small, std::int32_t(1) << 30));
    expectEmpty(buffer);
}

// ---------------------------------------------------------------------------
// Base64: known answers and the lenient decoding rules

TEST(Base64Encode, PadsTheLastGroupAndTerminatesTheText) {
    const struct {
        std::string_view in, out;
    } cases[] = {{"abc", "YWJj"}, {"ab", "YWI="}, {"a", "YQ=="}, {"abcd", "YWJjZA=="}};
    for (const auto& c : cases) {
        ByteBuffer buffer;
        ASSERT_TRUE(buffer.base64Encode(c.in.data(), std::int32_t(c.in.size())));
        EXPECT_EQ(buffer.text(), c.out);
        EXPECT_EQ(buffer.length(), std::int32_t(c.out.size()));
        expectZeroTail(buffer);
    }
}

TEST(Base64Decode, DecodesPaddedAndUnpaddedGroups) {
    const struct {
        std::string_view in, out;
    } cases[] = {
        {"YWJj", "abc"},
        {"YWI=", "ab"},
        {"YWI", "ab"},
        {"YQ==", "a"},
        {"YQ", "a"},
        {"YWJjZA==", "abcd"},
        {"Y W\r\nJ j \r\n", "abc"},
        // Only the first NUL counts: the text ends there.
        {std::string_view("YWJj\0YWJj", 9), "abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in));
        ByteBuffer buffer;
        ASSERT_TRUE(buffer.base64Decode(c.in));
        EXPECT_EQ(buffer.text(), c.out);
        expectZeroTail(buffer);
    }
}

TEST(Base64Decode, LenientRulesGiveTheirExactBytes) {
    const struct {
        std::string_view in;
        Bytes out;
    } cases[] = {
        // Characters outside the alphabet count as the value 1 (tab included:
        // only CR, LF and space are skipped).
        {"!!!!", {0x04, 0x10, 0x41}},
        {"\t\xff\x80*", {0x04, 0x10, 0x41}},
        {"A!", {0x00}},
        // '=' in the first two places counts as 0 and the group goes on.
        {"==AA", {0x00, 0x00, 0x00}},
        {"=Q==", {0x01}},
        // '=' in the third place ends the group after one byte, whatever follows.
        {"YW=j", {0x61}},
        // '=' in the fourth place ends it after two.
        {"YWJ=", {0x61, 0x62}},
        // Decoding goes on after padding in the middle of the body.
        {"YQ==YWJj", {0x61, 0x61, 0x62, 0x63}},
        // A lone last character yields one byte from its six bits.
        {"YWJjY", {0x61, 0x62, 0x63, 0x60}},
        {"YWJjYQ", {0x61, 0x62, 0x63, 0x61}},
        // Skipped characters do not break groups.
        {"YWJjYW\r\nJj", {0x61, 0x62, 0x63, 0x61, 0x62, 0x63}},
        {"Y\r\nW\r\nJ\r\nj", {0x61, 0x62, 0x63}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in));
        ByteBuffer buffer;
        ASSERT_TRUE(buffer.base64Decode(c.in));
        EXPECT_EQ(contentOf(buffer), c.out);
        expectZeroTail(buffer);
    }
}

// ---------------------------------------------------------------------------
// Base64: armour

TEST(Base64Armour, CertificateWithCrLfLinesDecodesToItsExactDer) {
    const Certificate cert = makeCertificate();
    ASSERT_NE(cert.pem.find("-----BEGIN CERTIFICATE-----\r\n"), std::string::npos);
    ASSERT_NE(cert.pem.find("\r\n-----END CERTIFICATE-----"), std::string::npos);
    ASSERT_GT(cert.der.size(), 48u * 2);  // more than one 64-character line

    ByteBuffer buffer;
    ASSERT_TRUE(buffer.base64Decode(cert.pem));
    EXPECT_EQ(contentOf(buffer), cert.der);
    expectZeroTail(buffer);
}

TEST(Base64Armour, EveryLineAlignmentDecodesExactly) {
    std::mt19937 rng(7);
    for (std::size_t n = 1; n <= 200; ++n) {
        SCOPED_TRACE(n);
        const Bytes der = randomBytes(rng, n);
        ByteBuffer buffer;
        ASSERT_TRUE(buffer.base64Decode(pemArmour(der, "PKCS #7")));
        EXPECT_EQ(contentOf(buffer), der);
        expectZeroTail(buffer);
    }
}

TEST(Base64Armour, ArmourWithoutEndLineFails) {
    const Certificate cert = makeCertificate();
    const std::string withoutEnd = cert.pem.substr(0, cert.pem.find("-----END"));
    ByteBuffer buffer = filled("previous");
    EXPECT_FALSE(buffer.base64Decode(withoutEnd));
    expectEmpty(buffer);

    EXPECT_FALSE(buffer.base64Decode("-----"));
    EXPECT_FALSE(buffer.base64Decode("------BEGIN X"));
    EXPECT_FALSE(buffer.base64Decode("-----BEGIN X-----\r\n\r\n"));
    expectEmpty(buffer);
}

// Only dashes at the very start are skipped: anything before the begin line
// makes the decoder take that line's label as the body, without an error.
TEST(Base64Armour, TextBeforeTheBeginLineDecodesTheLabel) {
    const Certificate cert = makeCertificate();
    const Bytes label = opensslDecode("BEGINCERTIFICATE");
    for (const char* prefix : {"\r\n", "\n", " ", "x"}) {
        SCOPED_TRACE(prefix);
        ByteBuffer buffer;
        ASSERT_TRUE(buffer.base64Decode(prefix + cert.pem));
        EXPECT_EQ(contentOf(buffer), label);
    }
}

// The body starts after every dash, CR and LF behind the begin line, so with
// no Base64 between the lines the end line's label becomes the body.
TEST(Base64Armour, EmptyBodyDecodesTheEndLabel) {
    ByteBuffer buffer;
    ASSERT_TRUE(
        buffer.base64Decode("-----BEGIN CERTIFICATE-----\r\n-----END CERTIFICATE-----\r\n"));
    EXPECT_EQ(contentOf(buffer), opensslDecode("ENDCERTIFICATE=="));
}

TEST(Base64Armour, LeavesTheCallersTextUntouched) {
    const Certificate cert = makeCertificate();
    const std::string text = cert.pem;
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.base64Decode(text));
    EXPECT_EQ(text, cert.pem);
}

// ---------------------------------------------------------------------------
// Base64: differential checks

TEST(Base64Differential, RoundTripsWithOpenSslForEveryLengthUpTo4096) {
    std::mt19937 rng(20240601);
    for (std::size_t n = 0; n <= 4096; ++n) {
        SCOPED_TRACE(n);
        const Bytes in = randomBytes(rng, n);
        const std::string reference = opensslEncode(in);

        ByteBuffer encoded;
        if (n == 0) {
            EXPECT_FALSE(encoded.base64Encode(in.data(), 0));
            EXPECT_FALSE(encoded.base64Decode(reference));
            continue;
        }
        ASSERT_TRUE(encoded.base64Encode(in.data(), std::int32_t(n)));
        ASSERT_EQ(encoded.text(), reference);
        expectZeroTail(encoded);

        EXPECT_EQ(opensslDecode(encoded.text()), in);
        ByteBuffer decoded;
        ASSERT_TRUE(decoded.base64Decode(reference));
        ASSERT_EQ(contentOf(decoded), in);
        expectZeroTail(decoded);
    }
}

// The table-driven path takes clean groups and the exact loop the others.
// Spaces are always skipped, so a space after every character (which keeps
// every group off the fast path) must never change what a text decodes to.
TEST(Base64Differential, FastPathAgreesWithTheLenientLoop) {
    std::mt19937 rng(99);
    const std::string_view common =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string_view rare = "=\r\n \t!*\x80\xff";
    std::uniform_int_distribution<int> pickCommon(0, int(common.size()) - 1);
    std::uniform_int_distribution<int> pickRare(0, int(rare.size()) - 1);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = std::size_t(round % 97);
        const int rarePercent = round % 4 == 0 ? 30 : 3;
        std::string text;
        for (std::size_t i = 0; i < n; ++i) {
            text += int(rng() % 100) < rarePercent ? rare[std::size_t(pickRare(rng))]
                                                   : common[std::size_t(pickCommon(rng))];
        }
        std::string spaced;
        for (char c : text) (spaced += c) += ' ';

        SCOPED_TRACE(text);
        ByteBuffer fast, exact;
        const bool fastOk = fast.base64Decode(text);
        ASSERT_EQ(fastOk, exact.base64Decode(spaced));
        ASSERT_EQ(contentOf(fast), contentOf(exact));
        if (fastOk) expectZeroTail(fast);
    }
}

TEST(Base64Differential, SixteenMebibyteTextDecodes) {
    std::mt19937 rng(16);
    const Bytes in = randomBytes(rng, std::size_t(12) << 20);
    const std::string text = opensslEncode(in);
    ASSERT_EQ(text.size(), std::size_t(16) << 20);

    ByteBuffer decoded;
    ASSERT_TRUE(decoded.base64Decode(text));
    EXPECT_TRUE(contentOf(decoded) == in);
    expectZeroTail(decoded);

    // The same data as 64-character lines under armour.
    ByteBuffer fromPem;
    ASSERT_TRUE(fromPem.base64Decode(pemArmour(in, "CERTIFICATE")));
    EXPECT_TRUE(contentOf(fromPem) == in);

    ByteBuffer encoded;
    ASSERT_TRUE(encoded.base64Encode(in.data(), std::int32_t(in.size())));
    EXPECT_TRUE(encoded.text() == text);
}

// ---------------------------------------------------------------------------
// Hex

TEST(Hex, EncodesUpperCaseDigitPairs) {
    const std::uint8_t in[] = {0x00, 0xAB, 0x10};
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.hexEncode(in, 3));
    EXPECT_EQ(buffer.text(), "00AB10");
    EXPECT_EQ(buffer.length(), 6);
    expectZeroTail(buffer);

    // Every byte value against printf's "%02X".
    Bytes all(256);
    std::string expected;
    for (int i = 0; i < 256; ++i) {
        all[std::size_t(i)] = std::uint8_t(i);
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", i);
        expected += pair;
    }
    ASSERT_TRUE(buffer.hexEncode(all.data(), 256));
    EXPECT_EQ(buffer.text(), expected);
    ASSERT_TRUE(buffer.hexDecode(expected));
    EXPECT_EQ(contentOf(buffer), all);
}

TEST(Hex, DecodesAnyCaseAndRejectsEmptyAndOddText) {
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.hexDecode("0aB1"));
    EXPECT_EQ(contentOf(buffer), (Bytes{0x0A, 0xB1}));
    expectZeroTail(buffer);

    EXPECT_FALSE(buffer.hexDecode("ABC"));
    expectEmpty(buffer);
    EXPECT_FALSE(buffer.hexDecode(""));
    expectEmpty(buffer);

    // The text ends at its first NUL, so its length is counted there.
    ASSERT_TRUE(buffer.hexDecode(std::string_view("0a\0b", 4)));
    EXPECT_EQ(contentOf(buffer), (Bytes{0x0A}));
    EXPECT_FALSE(buffer.hexDecode(std::string_view("0ab\0", 4)));
    EXPECT_FALSE(buffer.hexDecode(std::string_view("\0AB", 3)));
}

// No character is rejected: each is valued (c - '0') below ':' and
// (c - 'A' + 10) from there on, after upper-casing ASCII letters only.
TEST(Hex, CharactersOutsideTheDigitsGiveTheirArithmeticValue) {
    const struct {
        std::string_view in;
        Bytes out;
    } cases[] = {
        {"GZ", {0x23}},        // 16 * 16 + 35 = 291
        {"zz", {0x53}},        // 35 * 16 + 35 = 595
        {" !", {0xF1}},        // -16 * 16 - 15 = -271
        {"\xE9\xE9", {0xD2}},  // Latin-1 letters stay as they are: 178 * 17
        {"\xFF\x80", {0xC9}},  // 200 * 16 + 73 = 3273
        {"09af", {0x09, 0xAF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in));
        ByteBuffer buffer;
        ASSERT_TRUE(buffer.hexDecode(c.in));
        EXPECT_EQ(contentOf(buffer), c.out);
    }
}

}  // namespace
}  // namespace pennaform

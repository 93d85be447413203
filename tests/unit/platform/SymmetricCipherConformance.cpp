// The symmetric cipher conformance suite: DES and Triple DES as CryptEncrypt
// and CryptDecrypt give them (CBC, PKCS#5 padding, chaining across calls),
// with known answers: FIPS 81's CBC example and values of `openssl enc`.
#include <string>
#include <vector>

#include "platform/PlaintextKeyBlob.h"
#include "support/VectorFile.h"
#include "unit/platform/PlatformConformance.h"

namespace pennaform::platform::test {
namespace {

constexpr std::string_view kEnhanced = "Microsoft Enhanced Cryptographic Provider v1.0";

Bytes hex(std::string_view text) {
    const std::string bytes = pennaform::test::hexToBytes(text);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TEST_P(SymmetricCipherConformance, KnownAnswers) {
    struct Case {
        AlgId algorithm;
        std::uint32_t providerType;
        const char* key;
        const char* iv;  // nullptr: the all-zero IV a new key starts with
        std::string plain;
        const char* cipher;
    };
    const Case cases[] = {
        {algorithms::kDes, providerTypes::kRsaFull, "0123456789abcdef", "1234567890abcdef",
         "Now is the time for all ",
         "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f662c16a27e4fcf277"},
        {algorithms::kDes, providerTypes::kRsaAes, "133457799bbcdff1", nullptr, "",
         "fdf2e174492922f8"},
        {algorithms::k3Des112, providerTypes::kRsaFull, "0123456789abcdeffedcba9876543210", nullptr,
         "8 bytes!", "ece20ad738d7787b1e1f562ba9689a7e"},
        {algorithms::k3Des, providerTypes::kRsaAes,
         "0123456789abcdef23456789abcdef01456789abcdef0123", nullptr, "The quick brown fox jumps",
         "1ccf23869d09333e3d601d0704510c83c79263d1b39eb19b7e8029dd0cfd8ebb"},
        {algorithms::k3Des, providerTypes::kRsaFull,
         "0123456789abcdef23456789abcdef01456789abcdef0123", "fedcba9876543210", "x",
         "0146147603216e0c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cipher);
        auto imported =
            ciphers().importKey("", c.providerType, plaintextKeyBlob(c.algorithm, hex(c.key)));
        ASSERT_TRUE(imported.ok()) << std::hex << imported.error();
        SymmetricKey& key = **imported;
        if (c.iv) {
            ASSERT_TRUE(key.setIv(hex(c.iv)).ok());
        }
        const Bytes plain = bytesOf(c.plain);
        const Bytes cipher = hex(c.cipher);

        auto once = key.encrypt(plain, true);
        ASSERT_TRUE(once.ok());
        EXPECT_EQ(*once, cipher);
        // Whole blocks first, the rest with the final call: the same bytes,
        // since a final call has restarted the chaining from the IV.
        const std::size_t whole = plain.size() / 8 * 8;
        auto head = key.encrypt(ByteView(plain).first(whole), false);
        auto tail = key.encrypt(ByteView(plain).subspan(whole), true);
        ASSERT_TRUE(head.ok() && tail.ok());
        head->insert(head->end(), tail->begin(), tail->end());
        EXPECT_EQ(*head, cipher);

        CipherOutput back = key.decrypt(cipher, true);
        EXPECT_EQ(back.error, errors::kSuccess);
        EXPECT_EQ(back.bytes, plain);
        // Without the padding check the last block shows its padding.
        CipherOutput raw = key.decrypt(cipher, false);
        ASSERT_TRUE(raw.ok());
        const std::uint8_t pad = std::uint8_t(8 - plain.size() % 8);
        Bytes padded = plain;
        padded.insert(padded.end(), pad, pad);
        EXPECT_EQ(raw.bytes, padded);
    }
}

TEST_P(SymmetricCipherConformance, FailuresCarryTheWindowsErrors) {
    const Bytes des = hex("0123456789abcdef");
    Bytes wrongType = plaintextKeyBlob(algorithms::kDes, des);
    wrongType[0] = 7;
    Bytes wrongVersion = plaintextKeyBlob(algorithms::kDes, des);
    wrongVersion[1] = 3;
    const struct {
        std::string_view provider;
        std::uint32_t type;
        Bytes blob;
        PlatformError error;
    } imports[] = {
        {kEnhanced, 0, plaintextKeyBlob(algorithms::kDes, des), errors::kNteBadProvType},
        {"", 12, plaintextKeyBlob(algorithms::kDes, des), errors::kNteProvTypeNotDef},
        {"No Such Provider", 1, plaintextKeyBlob(algorithms::kDes, des), errors::kNteKeysetNotDef},
        {kEnhanced, 24, plaintextKeyBlob(algorithms::kDes, des), errors::kNteProvTypeNoMatch},
        {kEnhanced, 1, wrongType, errors::kNteBadType},
        {kEnhanced, 1, wrongVersion, errors::kNteBadVer},
        {kEnhanced, 1, plaintextKeyBlob(algorithms::kRc2, des), errors::kNteBadAlgId},
        {kEnhanced, 1, plaintextKeyBlob(algorithms::k3Des, des), errors::kNteBadData},
        {kEnhanced, 1, Bytes{8, 2, 0}, errors::kNteBadData},
    };
    for (const auto& c : imports) {
        SCOPED_TRACE(::testing::Message() << c.provider << " type " << c.type);
        EXPECT_EQ(ciphers().importKey(c.provider, c.type, c.blob).error(), c.error);
    }

    auto imported = ciphers().importKey(kEnhanced, 1, plaintextKeyBlob(algorithms::kDes, des));
    ASSERT_TRUE(imported.ok());
    SymmetricKey& key = **imported;
    EXPECT_EQ(key.encrypt(bytesOf("seven!!"), false).error(), errors::kNteBadData);
    EXPECT_EQ(key.decrypt(bytesOf("seven!!"), false).error, errors::kNteBadData);
    EXPECT_EQ(key.decrypt(bytesOf("nine bytes"), true).error, errors::kNteBadData);
    EXPECT_EQ(key.decrypt({}, true).error, errors::kNteBadLen);
    EXPECT_EQ(key.setIv(hex("00")).error(), errors::kNteBadLen);
    EXPECT_EQ(key.setMode(5).error(), errors::kNteBadData);
    // A last block whose padding is wrong comes back whole under NTE_BAD_DATA.
    const Bytes zeros(8, 0);
    auto unpadded = key.encrypt(zeros, false);
    ASSERT_TRUE(unpadded.ok());
    ASSERT_TRUE(key.setIv(Bytes(8, 0)).ok());
    CipherOutput bad = key.decrypt(*unpadded, true);
    EXPECT_EQ(bad.error, errors::kNteBadData);
    EXPECT_EQ(bad.bytes, zeros);
}

}  // namespace
}  // namespace pennaform::platform::test

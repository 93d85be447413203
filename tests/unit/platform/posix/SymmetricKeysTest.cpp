// The POSIX backend's DES and Triple DES: key import as Windows checks a
// PLAINTEXTKEYBLOB, and encryption and decryption as CryptEncrypt and
// CryptDecrypt behave (chaining across calls, PKCS#5 padding, the bad last
// block), with known answers from FIPS 81 and from the openssl command.
#include <gtest/gtest.h>

#include <string>

#include "platform/PlatformFactory.h"
#include "platform/posix/SymmetricKeys_openssl.h"
#include "support/Process.h"
#include "support/VectorFile.h"

namespace pennaform::platform {
namespace {

constexpr std::string_view kEnhanced = "Microsoft Enhanced Cryptographic Provider v1.0";

Bytes bytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
Bytes hex(std::string_view h) {
    return bytesOf(test::hexToBytes(h));
}

// blobFor: a PLAINTEXTKEYBLOB for `key` under `algorithm`.
Bytes blobFor(AlgId algorithm, const Bytes& key) {
    Bytes blob = {8, 2, 0, 0};
    for (int i = 0; i < 4; ++i) blob.push_back(std::uint8_t(algorithm >> (8 * i)));
    for (int i = 0; i < 4; ++i) blob.push_back(std::uint8_t(key.size() >> (8 * i)));
    blob.insert(blob.end(), key.begin(), key.end());
    return blob;
}

class SymmetricCipherService : public ::testing::Test {
protected:
    std::unique_ptr<SymmetricKey> import(AlgId algorithm, std::string_view keyHex) {
        auto key =
            ciphers->importKey(kEnhanced, providerTypes::kRsaFull, blobFor(algorithm, hex(keyHex)));
        EXPECT_TRUE(key.ok()) << std::hex << key.error();
        return key.ok() ? std::move(key).value() : nullptr;
    }
    std::unique_ptr<SymmetricKeys> ciphers = makeOpenSslSymmetricKeys();
};

TEST_F(SymmetricCipherService, TheBackendOffersIt) {
    auto platform = makePlatform(StateHome(std::string("/nonexistent")));
    EXPECT_NE(platform->symmetricKeys(), nullptr);
}

TEST_F(SymmetricCipherService, ImportChecksProviderBlobAlgorithmAndKeySize) {
    const Bytes des = hex("0123456789abcdef");
    auto errorOf = [&](std::string_view provider, std::uint32_t type, const Bytes& blob) {
        return ciphers->importKey(provider, type, blob).error();
    };
    EXPECT_EQ(errorOf(kEnhanced, 1, blobFor(algorithms::kDes, des)), errors::kSuccess);
    EXPECT_EQ(errorOf("", 1, blobFor(algorithms::kDes, des)), errors::kSuccess);
    EXPECT_EQ(errorOf("", 24, blobFor(algorithms::kDes, des)), errors::kSuccess);
    EXPECT_EQ(errorOf(kEnhanced, 0, blobFor(algorithms::kDes, des)), errors::kNteBadProvType);
    EXPECT_EQ(errorOf(kEnhanced, 1000, blobFor(algorithms::kDes, des)), errors::kNteBadProvType);
    EXPECT_EQ(errorOf("", 12, blobFor(algorithms::kDes, des)), errors::kNteProvTypeNotDef);
    EXPECT_EQ(errorOf("No Such Provider", 1, blobFor(algorithms::kDes, des)),
              errors::kNteKeysetNotDef);
    EXPECT_EQ(errorOf(kEnhanced, 24, blobFor(algorithms::kDes, des)), errors::kNteProvTypeNoMatch);
    EXPECT_EQ(
        errorOf("Microsoft Base Cryptographic Provider v1.0", 1, blobFor(algorithms::kDes, des)),
        errors::kNteBadAlgId);

    Bytes wrongType = blobFor(algorithms::kDes, des);
    wrongType[0] = 7;
    EXPECT_EQ(errorOf(kEnhanced, 1, wrongType), errors::kNteBadType);
    Bytes wrongVersion = blobFor(algorithms::kDes, des);
    wrongVersion[1] = 3;
    EXPECT_EQ(errorOf(kEnhanced, 1, wrongVersion), errors::kNteBadVer);
    EXPECT_EQ(errorOf(kEnhanced, 1, blobFor(algorithms::kRc2, des)), errors::kNteBadAlgId);
    EXPECT_EQ(errorOf(kEnhanced, 1, blobFor(algorithms::k3Des, des)), errors::kNteBadData);
    EXPECT_EQ(errorOf(kEnhanced, 1, blobFor(algorithms::k3Des112, hex(std::string(48, 'a')))),
              errors::kNteBadData);
    Bytes cutShort = blobFor(algorithms::kDes, des);
    cutShort.pop_back();
    EXPECT_EQ(errorOf(kEnhanced, 1, cutShort), errors::kNteBadData);
    EXPECT_EQ(errorOf(kEnhanced, 1, Bytes{8, 2, 0}), errors::kNteBadData);
}

TEST_F(SymmetricCipherService, DesCbcMatchesFips81) {
    // FIPS 81 appendix C: CBC with key 0123456789abcdef and IV
    // 1234567890abcdef over "Now is the time for all ".
    auto key = import(algorithms::kDes, "0123456789abcdef");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setIv(hex("1234567890abcdef")).ok());
    auto out = key->encrypt(bytesOf("Now is the time for all "), false);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(*out, hex("e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"));
    // The parity bits do not count: the same key with every low bit cleared.
    auto sameKey = import(algorithms::kDes, "0022446688aaccee");
    ASSERT_TRUE(sameKey && sameKey->setIv(hex("1234567890abcdef")).ok());
    EXPECT_EQ(*sameKey->encrypt(bytesOf("Now is the time for all "), false), *out);
}

TEST_F(SymmetricCipherService, ChainingRunsAcrossCallsAndAFinalCallRestartsIt) {
    auto key = import(algorithms::k3Des, "000102030405060708090a0b0c0d0e0f1011121314151617");
    ASSERT_TRUE(key);
    const Bytes message = bytesOf("twenty-one bytes long");
    auto oneShot = key->encrypt(message, true);
    ASSERT_TRUE(oneShot.ok());
    EXPECT_EQ(oneShot->size(), 24u);
    // The same message in three calls gives the same bytes, and a second
    // message after a final call starts again from the IV.
    Bytes pieces = *key->encrypt(ByteView(message).first(8), false);
    Bytes more = *key->encrypt(ByteView(message).subspan(8, 8), false);
    Bytes last = *key->encrypt(ByteView(message).subspan(16), true);
    pieces.insert(pieces.end(), more.begin(), more.end());
    pieces.insert(pieces.end(), last.begin(), last.end());
    EXPECT_EQ(pieces, *oneShot);
    EXPECT_EQ(*key->encrypt(message, true), *oneShot);

    CipherOutput head = key->decrypt(ByteView(*oneShot).first(16), false);
    CipherOutput tail = key->decrypt(ByteView(*oneShot).subspan(16), true);
    ASSERT_TRUE(head.ok() && tail.ok());
    head.bytes.insert(head.bytes.end(), tail.bytes.begin(), tail.bytes.end());
    EXPECT_EQ(head.bytes, message);
}

TEST_F(SymmetricCipherService, PaddingIsAWholeBlockForWholeBlocks) {
    auto key = import(algorithms::k3Des112, "0123456789abcdeffedcba9876543210");
    ASSERT_TRUE(key);
    auto out = key->encrypt(bytesOf("8 bytes!"), true);
    ASSERT_TRUE(out.ok());
    ASSERT_EQ(out->size(), 16u);
    // Without the padding check the second block is eight bytes of 08.
    CipherOutput raw = key->decrypt(*out, false);
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(raw.bytes, bytesOf("8 bytes!\x08\x08\x08\x08\x08\x08\x08\x08"));
    EXPECT_EQ(key->encrypt({}, true)->size(), 8u);  // empty input: one block of padding
}

TEST_F(SymmetricCipherService, BadCallsFailAsThePlatformDoes) {
    auto key = import(algorithms::kDes, "0123456789abcdef");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->encrypt(bytesOf("seven!!"), false).error(), errors::kNteBadData);
    EXPECT_EQ(key->decrypt(bytesOf("seven!!"), false).error, errors::kNteBadData);
    CipherOutput partial = key->decrypt(bytesOf("nine bytes"), true);
    EXPECT_EQ(partial.error, errors::kNteBadData);
    EXPECT_TRUE(partial.bytes.empty());
    EXPECT_EQ(key->decrypt({}, true).error, errors::kNteBadLen);
    EXPECT_EQ(key->setIv(hex("00")).error(), errors::kNteBadLen);
    EXPECT_TRUE(key->setMode(cipherModes::kCbc).ok());
    EXPECT_EQ(key->setMode(cipherModes::kEcb).error(), errors::kNteBadData);
    EXPECT_EQ(key->setMode(5).error(), errors::kNteBadData);
}

TEST_F(SymmetricCipherService, ABadLastBlockComesBackWholeUnderBadData) {
    auto key = import(algorithms::kDes, "0123456789abcdef");
    ASSERT_TRUE(key);
    // Eight zero bytes encrypted without padding: their decryption ends in
    // 00, which is no valid padding.
    const Bytes zeros(8, 0);
    Bytes cipher = *key->encrypt(zeros, false);
    // A final encryption restarts from the IV for the decryption below.
    ASSERT_TRUE(key->encrypt({}, true).ok());
    CipherOutput out = key->decrypt(cipher, true);
    EXPECT_EQ(out.error, errors::kNteBadData);
    EXPECT_EQ(out.bytes, zeros);
    // The chaining restarted: the same call gives the same answer.
    CipherOutput again = key->decrypt(cipher, true);
    EXPECT_EQ(again.bytes, zeros);
}

// What `openssl enc` writes with the same key and a zero IV, we read, and
// the other way round.
TEST_F(SymmetricCipherService, AgreesWithOpensslEnc) {
    struct Case {
        AlgId algorithm;
        const char* keyHex;
        std::vector<std::string> cipher;
    };
    const Case cases[] = {
        {algorithms::kDes,
         "133457799bbcdff1",
         {"-des-cbc", "-provider", "legacy", "-provider", "default"}},
        {algorithms::k3Des112, "0123456789abcdeffedcba9876543210", {"-des-ede-cbc"}},
        {algorithms::k3Des, "0123456789abcdef23456789abcdef01456789abcdef0123", {"-des-ede3-cbc"}},
    };
    const std::string message = "Pennaform speaks DES with OpenSSL.";
    for (const Case& c : cases) {
        std::vector<std::string> argv = {"openssl", "enc"};
        argv.insert(argv.end(), c.cipher.begin(), c.cipher.end());
        argv.insert(argv.end(), {"-K", c.keyHex, "-iv", "0000000000000000"});
        test::ProcessResult theirs = test::runProcess(argv, {}, message);
        ASSERT_EQ(theirs.exitStatus, 0) << theirs.err;
        auto key = import(c.algorithm, c.keyHex);
        ASSERT_TRUE(key);
        EXPECT_EQ(*key->encrypt(bytesOf(message), true), bytesOf(theirs.out)) << c.cipher[0];
        CipherOutput back = key->decrypt(bytesOf(theirs.out), true);
        EXPECT_TRUE(back.ok());
        EXPECT_EQ(back.bytes, bytesOf(message)) << c.cipher[0];
    }
}

}  // namespace
}  // namespace pennaform::platform

// SymEncrypt and SymDecrypt on an Engine: round trips in both encodings, the
// lenient last block, and the checks in their order with their codes.
#include <gtest/gtest.h>

#include "encoding/ByteBuffer.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

EngineConfig untrustedCaller() {
    EngineConfig config;
    config.untrustedCaller = true;
    return config;
}

constexpr std::u16string_view kKey3 = u"0123456789abcdef23456789abcdef01456789abcdef0123";
constexpr std::u16string_view kKey2 = u"0123456789abcdeffedcba9876543210";
constexpr std::u16string_view kKey1 = u"133457799bbcdff1";
constexpr std::int32_t kAnsi = 0x800;

ByteBuffer decoded(const std::u16string& base64) {
    ByteBuffer b;
    b.base64Decode(toAnsi(base64));
    return b;
}

std::u16string base64Of(const ByteBuffer& b) {
    ByteBuffer text;
    text.base64Encode(b.data(), b.length());
    return toWide(text.text());
}

TEST(SymmetricEncryption, RoundTripsInBothEncodingsWithEveryKeyKind) {
    Engine engine;
    const std::u16string texts[] = {u"x", u"exactly8", u"中文與 ASCII mixed, 二十多個字元"};
    const struct {
        std::u16string_view key;
        std::int32_t algorithm;
    } keys[] = {{kKey3, 0}, {kKey2, 0}, {kKey1, 1}};
    for (const auto& k : keys) {
        for (const std::u16string& text : texts) {
            for (std::int32_t flags : {0, kAnsi}) {
                const std::u16string cipher = engine.SymEncrypt(text, k.key, k.algorithm, flags);
                ASSERT_EQ(engine.GetErrorCode(), 0);
                EXPECT_EQ(engine.SymDecrypt(cipher, k.key, k.algorithm, flags), text);
                EXPECT_EQ(engine.GetErrorCode(), 0);
            }
        }
    }
    // Upper- and lower-case key digits are the same key.
    EXPECT_EQ(engine.SymEncrypt(u"case", u"0123456789ABCDEF", 1, 0),
              engine.SymEncrypt(u"case", u"0123456789abcdef", 1, 0));
}

TEST(SymmetricEncryption, CipherTextIsWholeBlocksOneMoreThanTheText) {
    Engine engine;
    EXPECT_EQ(engine.SymEncrypt(u"8 bytes!", kKey1, 1, kAnsi).size(), 24u);  // 16 bytes
    EXPECT_EQ(decoded(engine.SymEncrypt(u"7 bytes", kKey1, 1, kAnsi)).length(), 8);
    EXPECT_EQ(decoded(engine.SymEncrypt(u"8 bytes!", kKey1, 1, 0)).length(), 24);  // 16 + pad
}

TEST(SymmetricDecryption, TheLastBlockIsLenient) {
    Engine engine;
    // A peer that pads with zeros instead of PKCS#5: "abcd" as UTF-16LE and
    // eight zero bytes, encrypted as two whole blocks. Made here by cutting
    // the PKCS#5 block off a longer cipher text.
    ByteBuffer full = decoded(engine.SymEncrypt(std::u16string(u"abcd\0\0\0\0", 8), kKey1, 1, 0));
    ASSERT_EQ(full.length(), 24);
    ByteBuffer zeroPadded;
    zeroPadded.append(full.data(), 16);
    engine.setCapiError(0x1234);
    EXPECT_EQ(engine.SymDecrypt(base64Of(zeroPadded), kKey1, 1, 0), u"abcd");
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_EQ(engine.GetCapiErrorCode(), 0);

    // A wrong key of the right length: no error, whatever text the bytes make.
    engine.SymDecrypt(engine.SymEncrypt(u"secret", kKey1, 1, 0), u"fedcba9876543210", 1, 0);
    EXPECT_EQ(engine.GetErrorCode(), 0);
}

TEST(SymmetricDecryption, ResultTextEndsAtTheFirstZero) {
    Engine engine;
    // UTF-16LE text read back as code page text stops after one character.
    EXPECT_EQ(engine.SymDecrypt(engine.SymEncrypt(u"ASCII", kKey2, 0, 0), kKey2, 0, kAnsi), u"A");
    // Code page bytes read back as UTF-16LE pair up; an odd last byte stands alone.
    EXPECT_EQ(engine.SymDecrypt(engine.SymEncrypt(u"abc", kKey2, 0, kAnsi), kKey2, 0, 0),
              u"\u6261c");
}

TEST(SymmetricDecryption, ACipherTextOfPartBlocksIsRefused) {
    Engine engine;
    ByteBuffer full = decoded(engine.SymEncrypt(u"twelve chars", kKey1, 1, kAnsi));
    ASSERT_EQ(full.length(), 16);
    ByteBuffer cut;
    cut.append(full.data(), 13);
    EXPECT_EQ(engine.SymDecrypt(base64Of(cut), kKey1, 1, kAnsi), u"");
    EXPECT_EQ(engine.GetErrorCode(), 9005);
    EXPECT_EQ(engine.GetCapiErrorCode(), std::int32_t(0x80090005));  // NTE_BAD_DATA
}

TEST(SymmetricEncryption, ChecksRunInOrderWithTheirCodes) {
    Engine engine;
    struct Case {
        std::u16string text;
        std::u16string key;
        std::int32_t algorithm;
        std::int32_t code;
    };
    const Case cases[] = {
        {u"", u"0123456789abcdef", 1, 5005},
        {u"", u"", 7, 5005},
        {u"text", u"", 1, 5005},
        {u"text", u"0123456789abcde", 1, 5005},  // 15 digits: odd, not a wrong length
        {u"text", u"0123456789abcde", 2, 5005},  // the key text is read before the algorithm
        {u"text", u"0123456789abcdef", 0, 9003},
        {u"text", u"0123456789abcdef0123456789abcdef", 1, 9003},
        {u"text", std::u16string(kKey3.substr(0, 40)), 0, 9003},
        {u"text", u"0123456789abcdef", 2, 9001},
        {u"text", u"0123456789abcdef", -1, 9001},
    };
    for (const Case& c : cases) {
        engine.setCapiError(0x1234);
        EXPECT_EQ(engine.SymEncrypt(c.text, c.key, c.algorithm, 0), u"");
        EXPECT_EQ(engine.GetErrorCode(), c.code) << utf16ToUtf8(c.key) << " " << c.algorithm;
        EXPECT_EQ(engine.GetCapiErrorCode(), 0);  // cleared on entry
    }
    // With 0x800, a text that ends at once has no bytes to encrypt.
    EXPECT_EQ(engine.SymEncrypt(std::u16string(u"\0x", 2), kKey1, 1, kAnsi), u"");
    EXPECT_EQ(engine.GetErrorCode(), 9004);
}

TEST(SymmetricDecryption, ChecksRunInOrderWithTheirCodes) {
    Engine engine;
    const std::u16string cipher = engine.SymEncrypt(u"text", kKey1, 1, 0);
    struct Case {
        std::u16string cipher;
        std::u16string key;
        std::int32_t algorithm;
        std::int32_t code;
    };
    const Case cases[] = {
        {u"", u"0123456789abcdef", 1, 5005},
        {u"   \r\n", u"0123456789abcdef", 1, 9002},          // nothing to decode
        {u"-----BEGIN X-----\nAAAAAAAAAAA=", u"", 1, 9002},  // armour without an end line
        {cipher, u"", 1, 5005},
        {cipher, u"0123456789abcde", 1, 5005},
        {cipher, u"0123456789abcdef", 0, 9003},
        {cipher, u"0123456789abcdef", 2, 9001},
    };
    for (const Case& c : cases) {
        engine.setCapiError(0x1234);
        EXPECT_EQ(engine.SymDecrypt(c.cipher, c.key, c.algorithm, 0), u"");
        EXPECT_EQ(engine.GetErrorCode(), c.code) << utf16ToUtf8(c.cipher);
        EXPECT_EQ(engine.GetCapiErrorCode(), 0);
    }
}

TEST(SymmetricEncryption, ProtectedModeRefusesAfterTheChecksThePartsPutFirst) {
    Engine untrusted(untrustedCaller());
    const std::u16string cipher = Engine().SymEncrypt(u"text", kKey1, 1, 0);
    // SymEncrypt: only the empty text is reported before the gate.
    untrusted.SymEncrypt(u"", kKey1, 1, 0);
    EXPECT_EQ(untrusted.GetErrorCode(), 5005);
    untrusted.SymEncrypt(u"text", u"odd", 1, 0);
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
    untrusted.SymEncrypt(u"text", kKey1, 1, 0);
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
    // SymDecrypt: the cipher text and the key text are checked first.
    untrusted.SymDecrypt(u"   ", kKey1, 1, 0);
    EXPECT_EQ(untrusted.GetErrorCode(), 9002);
    untrusted.SymDecrypt(cipher, u"odd", 1, 0);
    EXPECT_EQ(untrusted.GetErrorCode(), 5005);
    untrusted.SymDecrypt(cipher, kKey1, 7, 0);
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
    EXPECT_EQ(untrusted.SymDecrypt(cipher, kKey1, 1, 0), u"");
    EXPECT_EQ(untrusted.GetErrorCode(), 1500);
}

}  // namespace
}  // namespace pennaform

// The component's DES and Triple DES against the known answers of FIPS 46-3,
// SP 800-17, FIPS 81 and SP 800-67 (tests/data/des), block by block and in
// CBC; the PKCS#5 padding both ways; and the keys it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/Des.h"
#include "support/VectorFile.h"

namespace pennaform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view hex) {
    const std::string raw = test::hexToBytes(hex);
    return Bytes(raw.begin(), raw.end());
}

TEST(Des, KnownAnswersInEcbAndCbc) {
    std::vector<test::VectorBlock> blocks =
        test::readVectorFile(std::string(PENNAFORM_TEST_DATA) + "/des/des.vec");
    ASSERT_EQ(blocks.size(), 12u);
    for (test::VectorBlock& block : blocks) {
        SCOPED_TRACE(block.where());
        const Bytes key = bytesOf(block.get("key"));
        const Bytes plain = bytesOf(block.get("plain"));
        const Bytes cipher = bytesOf(block.get("cipher"));
        std::optional<des::TripleDes> des = des::TripleDes::fromKey(key);
        ASSERT_TRUE(des);
        if (block.has("iv")) {
            des::Block iv{};
            const Bytes ivBytes = bytesOf(block.get("iv"));
            std::copy(ivBytes.begin(), ivBytes.end(), iv.begin());
            // The padding block comes after the answer; decryption takes it off.
            Bytes encrypted = des::cbcEncrypt(*des, iv, plain);
            ASSERT_EQ(encrypted.size(), plain.size() + 8);
            EXPECT_EQ(Bytes(encrypted.begin(), encrypted.begin() + long(cipher.size())), cipher);
            EXPECT_EQ(des::cbcDecrypt(*des, iv, encrypted), plain);
        } else {
            for (std::size_t at = 0; at < plain.size(); at += 8) {
                std::uint8_t out[8], back[8];
                des->encryptBlock(&plain[at], out);
                EXPECT_EQ(Bytes(out, out + 8), Bytes(&cipher[at], &cipher[at] + 8));
                des->decryptBlock(out, back);
                EXPECT_EQ(Bytes(back, back + 8), Bytes(&plain[at], &plain[at] + 8));
            }
        }
        block.finish();
    }
}

TEST(Des, PaddingAndRefusals) {
    const Bytes key = bytesOf("0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123");
    const std::optional<des::TripleDes> des = des::TripleDes::fromKey(key);
    ASSERT_TRUE(des);
    const des::Block zero{};
    // Every length from an empty text to two whole blocks comes back, and a
    // whole-block text gets a whole block of eights.
    for (std::size_t len = 0; len <= 16; ++len) {
        const Bytes plain(len, 0x41);
        const Bytes encrypted = des::cbcEncrypt(*des, zero, plain);
        EXPECT_EQ(encrypted.size(), (len / 8 + 1) * 8);
        EXPECT_EQ(des::cbcDecrypt(*des, zero, encrypted), plain);
    }
    // A whole-block text ends in a whole block of eights.
    const Bytes whole = des::cbcEncrypt(*des, zero, Bytes(8, 1));
    std::uint8_t last[8];
    des->decryptBlock(&whole[8], last);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(last[i] ^ whole[i], 8);
    // A cut-off text, an empty one and a last block that does not end in
    // valid padding give nothing.
    const Bytes encrypted = des::cbcEncrypt(*des, zero, Bytes(5, 0x42));
    EXPECT_FALSE(des::cbcDecrypt(*des, zero, Bytes(encrypted.begin(), encrypted.end() - 1)));
    EXPECT_FALSE(des::cbcDecrypt(*des, zero, Bytes{}));
    for (const Bytes& badTail : {bytesOf("4141414141414100"), bytesOf("4141414141414109"),
                                 bytesOf("4141414141410203"), bytesOf("4141414141420303")}) {
        Bytes single(8);
        des->encryptBlock(badTail.data(), single.data());  // one block from a zero IV
        EXPECT_FALSE(des::cbcDecrypt(*des, zero, single));
    }
    for (std::size_t len : {0u, 7u, 9u, 15u, 17u, 23u, 25u, 32u}) {
        EXPECT_FALSE(des::TripleDes::fromKey(Bytes(len, 1))) << len;
    }
}

}  // namespace
}  // namespace pennaform

// The weak-key screening on PRIVATEKEYBLOBs built here from OpenSSL's
// numbers: a sound key, and keys broken in each way the screening must see.
#include "enrol/KeyScreening.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformFactory.h"
#include "platform/ProviderNames.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using Ctx = std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)>;

Bn newBn() {
    return Bn(BN_new(), BN_free);
}

// KeyParts: the numbers a blob carries, in the blob's order.
struct KeyParts {
    std::uint32_t bits = 0;
    std::uint32_t e = 0;
    Bn n = newBn(), p = newBn(), q = newBn(), dP = newBn(), dQ = newBn(), qInv = newBn(),
       d = newBn();
};

// generatedParts: a new OpenSSL key of `bits` bits with d taken modulo
// (p-1)(q-1), or modulo lcm(p-1, q-1) with `lcmExponent` (then a key is
// chosen whose two exponents differ, as they do for most keys).
KeyParts generatedParts(unsigned bits, bool lcmExponent) {
    Ctx ctx(BN_CTX_new(), BN_CTX_free);
    for (;;) {
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(bits), EVP_PKEY_free);
        KeyParts parts;
        parts.bits = bits;
        parts.e = 65537;
        BIGNUM *p = nullptr, *q = nullptr;
        EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, &p);
        EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, &q);
        parts.p.reset(p);
        parts.q.reset(q);
        Bn p1 = newBn(), q1 = newBn(), phi = newBn(), g = newBn(), lcm = newBn(), e = newBn();
        BN_set_word(e.get(), parts.e);
        BN_sub(p1.get(), p, BN_value_one());
        BN_sub(q1.get(), q, BN_value_one());
        BN_mul(phi.get(), p1.get(), q1.get(), ctx.get());
        BN_gcd(g.get(), p1.get(), q1.get(), ctx.get());
        BN_div(lcm.get(), nullptr, phi.get(), g.get(), ctx.get());
        Bn dPhi = newBn();
        BN_mod_inverse(dPhi.get(), e.get(), phi.get(), ctx.get());
        BN_mod_inverse(parts.d.get(), e.get(), lcmExponent ? lcm.get() : phi.get(), ctx.get());
        if (lcmExponent && BN_cmp(parts.d.get(), dPhi.get()) == 0) continue;
        BN_mul(parts.n.get(), p, q, ctx.get());
        BN_mod(parts.dP.get(), parts.d.get(), p1.get(), ctx.get());
        BN_mod(parts.dQ.get(), parts.d.get(), q1.get(), ctx.get());
        BN_mod_inverse(parts.qInv.get(), q, p, ctx.get());
        return parts;
    }
}

void appendDword(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(value >> shift));
}

void appendNumber(std::vector<std::uint8_t>& out, const BIGNUM* value, std::size_t width) {
    std::vector<std::uint8_t> field(width);
    ASSERT_EQ(BN_bn2lebinpad(value, field.data(), int(width)), int(width));
    out.insert(out.end(), field.begin(), field.end());
}

std::vector<std::uint8_t> blobOf(const KeyParts& parts) {
    std::vector<std::uint8_t> blob = {0x07, 0x02, 0, 0, 0x00, 0xA4, 0, 0};
    appendDword(blob, 0x32415352);  // "RSA2"
    appendDword(blob, parts.bits);
    appendDword(blob, parts.e);
    const std::size_t wide = parts.bits / 8, half = parts.bits / 16;
    appendNumber(blob, parts.n.get(), wide);
    for (const Bn* half_field : {&parts.p, &parts.q, &parts.dP, &parts.dQ, &parts.qInv}) {
        appendNumber(blob, half_field->get(), half);
    }
    appendNumber(blob, parts.d.get(), wide);
    return blob;
}

TEST(KeyScreening, ASoundKeyPassesAndEachBrokenPartIsFound) {
    KeyParts sound = generatedParts(1024, false);
    const std::vector<std::uint8_t> blob = blobOf(sound);
    EXPECT_FALSE(isWeakKeyBlob(blob));

    // A coefficient off by one fails even though n, dP and dQ are right.
    KeyParts wrongCoefficient = generatedParts(1024, false);
    BN_add_word(wrongCoefficient.qInv.get(), 1);
    EXPECT_TRUE(isWeakKeyBlob(blobOf(wrongCoefficient)));

    // d modulo lcm(p-1, q-1), as OpenSSL makes it: its CRT values agree, but
    // d*e is not 1 modulo (p-1)(q-1).
    EXPECT_TRUE(isWeakKeyBlob(blobOf(generatedParts(1024, true))));

    // Each number zeroed in turn: offsets of n, p, q, dP, dQ, qInv, d.
    const std::size_t wide = 128, half = 64;
    const std::size_t at[] = {20,
                              20 + wide,
                              20 + wide + half,
                              20 + wide + 2 * half,
                              20 + wide + 3 * half,
                              20 + wide + 4 * half,
                              20 + wide + 5 * half};
    for (std::size_t field = 0; field < 7; ++field) {
        std::vector<std::uint8_t> zeroed = blob;
        const std::size_t width = field == 0 || field == 6 ? wide : half;
        std::fill_n(zeroed.begin() + std::ptrdiff_t(at[field]), width, 0);
        EXPECT_TRUE(isWeakKeyBlob(zeroed)) << "field " << field;
    }
    // An exponent sharing a factor with (p-1)(q-1), and a blob too short for
    // its bit length (by one byte, or claiming twice the bits): weak, and
    // nothing read past the end.
    std::vector<std::uint8_t> evenExponent = blob;
    evenExponent[16] = 0x02, evenExponent[17] = 0, evenExponent[18] = 0;
    EXPECT_TRUE(isWeakKeyBlob(evenExponent));
    EXPECT_TRUE(isWeakKeyBlob(std::vector<std::uint8_t>(blob.begin(), blob.end() - 1)));
    std::vector<std::uint8_t> longClaim = blob;
    longClaim[13] = 0x08;  // 2048 bits
    EXPECT_TRUE(isWeakKeyBlob(longClaim));
    EXPECT_TRUE(isWeakKeyBlob(std::vector<std::uint8_t>(blob.begin(), blob.begin() + 19)));
    // Bytes after the last field are not read.
    std::vector<std::uint8_t> trailing = blob;
    trailing.push_back(0xFF);
    EXPECT_FALSE(isWeakKeyBlob(trailing));
}

// The backend makes keys as the Windows providers do, so every key passes
// on its first attempt: 50 keys, mostly 1024 bits for time, some 2048.
TEST(KeyScreening, KeysTheBackendMakesPassOnTheirFirstAttempt) {
    test::TemporaryFolder folder;
    auto platform = platform::makePlatform(platform::StateHome(folder.sub("home")));
    ASSERT_NE(platform->keys(), nullptr);
    auto container = platform->keys()->createContainer(
        {"screened", std::string(platform::providerNames::kAes), platform::providerTypes::kRsaAes});
    ASSERT_TRUE(container);
    int weak = 0;
    for (int i = 0; i < 50; ++i) {
        const std::uint32_t bits = i % 10 == 0 ? 2048 : 1024;
        auto key = (*container)
                       ->generateKeyPair(platform::KeySpec::kKeyExchange, bits,
                                         platform::keyFlags::kArchivable);
        ASSERT_TRUE(key);
        ScreeningResult result = screenKey(**key);
        EXPECT_EQ(result.exportError, 0u);
        weak += result.weak;
    }
    EXPECT_EQ(weak, 0);
    // A key that cannot be read is weak, with the export's error.
    auto closed = (*container)->userKey(platform::KeySpec::kKeyExchange);
    ASSERT_TRUE(closed);
    ScreeningResult unreadable = screenKey(**closed);
    EXPECT_TRUE(unreadable.weak);
    EXPECT_EQ(unreadable.exportError, platform::errors::kNteBadKeyState);
}

}  // namespace
}  // namespace pennaform

// BigNumber against OpenSSL's BN over random operands of 1 to 4,200 bits,
// signs included, with every output also tried as one of the inputs.
#include "enrol/BigNumber.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace pennaform {
namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bn newBn() {
    return Bn(BN_new(), BN_free);
}

// Operand: one random value on both sides.
struct Operand {
    BigNumber ours;
    Bn theirs = newBn();
};

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    std::size_t below(std::size_t bound) { return std::size_t(engine_() % bound); }

    // operand: 1..maxBits random bits, sometimes with leading zero bytes,
    // sometimes negative; odd when asked.
    Operand operand(std::size_t maxBits, bool mayBeNegative, bool odd = false) {
        const std::size_t bits = 1 + below(maxBits);
        std::vector<std::uint8_t> bytes((bits + 7) / 8 + below(2), 0);
        for (std::size_t i = bytes.size() - (bits + 7) / 8; i < bytes.size(); ++i) {
            bytes[i] = std::uint8_t(engine_());
        }
        if (odd) bytes.back() |= 1;
        Operand made;
        made.ours.load(bytes);
        BN_bin2bn(bytes.data(), int(bytes.size()), made.theirs.get());
        if (mayBeNegative && below(3) == 0) {
            EXPECT_TRUE(BigNumber::multiply(made.ours, made.ours, BigNumber::fromSmall(-1)));
            BN_set_negative(made.theirs.get(), 1);
        }
        return made;
    }
    std::int32_t small() { return std::int32_t(std::uint32_t(engine_())); }

private:
    std::mt19937_64 engine_;
};

// same: whether our value is OpenSSL's, sign and magnitude.
::testing::AssertionResult same(const BigNumber& ours, const BIGNUM* theirs) {
    std::vector<std::uint8_t> magnitude(std::size_t(BN_num_bytes(theirs)));
    BN_bn2bin(theirs, magnitude.data());
    BigNumber expected;
    expected.load(magnitude);
    const bool negative = BN_is_negative(theirs) && !BN_is_zero(theirs);
    if (BigNumber::compareMagnitude(ours, expected) != 0 || ours.isNegative() != negative) {
        std::unique_ptr<char, void (*)(char*)> hex(BN_bn2hex(theirs),
                                                   [](char* text) { OPENSSL_free(text); });
        return ::testing::AssertionFailure() << "differs from " << hex.get();
    }
    return ::testing::AssertionSuccess();
}

using Binary = std::function<bool(BigNumber&, const BigNumber&, const BigNumber&)>;

// checkBinary: `op` into a fresh output, into each input, and with one
// operand as both inputs, against OpenSSL's `expected` (null: must fail).
void checkBinary(const Binary& op, const Operand& a, const Operand& b, const BIGNUM* expected,
                 const BIGNUM* expectedSquare) {
    BigNumber fresh;
    ASSERT_EQ(op(fresh, a.ours, b.ours), expected != nullptr);
    if (!expected) return;
    EXPECT_TRUE(same(fresh, expected));
    BigNumber intoA = a.ours;
    ASSERT_TRUE(op(intoA, intoA, b.ours));
    EXPECT_TRUE(same(intoA, expected));
    BigNumber intoB = b.ours;
    ASSERT_TRUE(op(intoB, a.ours, intoB));
    EXPECT_TRUE(same(intoB, expected));
    if (expectedSquare) {
        BigNumber both = a.ours;
        ASSERT_TRUE(op(both, both, both));
        EXPECT_TRUE(same(both, expectedSquare));
    }
}

constexpr std::size_t kMaxBits = 4200;
constexpr int kRounds = 400;

TEST(BigNumber, MultiplyAndCompareMatchOpenSsl) {
    Random random(1);
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < kRounds; ++round) {
        Operand a = random.operand(kMaxBits, true), b = random.operand(kMaxBits, true);
        Bn product = newBn(), square = newBn();
        BN_mul(product.get(), a.theirs.get(), b.theirs.get(), ctx.get());
        BN_mul(square.get(), a.theirs.get(), a.theirs.get(), ctx.get());
        checkBinary(BigNumber::multiply, a, b, product.get(), square.get());
        EXPECT_EQ(BigNumber::compare(a.ours, b.ours), BN_cmp(a.theirs.get(), b.theirs.get()));
        EXPECT_EQ(BigNumber::compare(a.ours, a.ours), 0);
        const std::int32_t k = random.small();
        Bn small = newBn();
        BN_set_word(small.get(), static_cast<BN_ULONG>(k < 0 ? -std::int64_t(k) : k));
        BN_set_negative(small.get(), k < 0);
        EXPECT_EQ(BigNumber::compareSmall(BigNumber::fromSmall(k), k), 0);
        EXPECT_EQ(BigNumber::compareSmall(a.ours, k), BN_cmp(a.theirs.get(), small.get()));
    }
    // Zero times a negative number is zero, never negative zero.
    BigNumber zero, negative = BigNumber::fromSmall(-5);
    ASSERT_TRUE(BigNumber::multiply(zero, zero, negative));
    EXPECT_FALSE(zero.isNegative());
    EXPECT_EQ(BigNumber::compareSmall(zero, 0), 0);
}

TEST(BigNumber, SubtractSmallMatchesOpenSslAcrossZero) {
    Random random(2);
    for (int round = 0; round < kRounds; ++round) {
        Operand a = random.operand(round % 4 == 0 ? 40 : kMaxBits, true);
        std::int32_t k = random.small();
        if (round == 0) k = std::numeric_limits<std::int32_t>::min();
        Bn small = newBn(), expected = newBn();
        BN_set_word(small.get(), static_cast<BN_ULONG>(k < 0 ? -std::int64_t(k) : k));
        BN_set_negative(small.get(), k < 0);
        BN_sub(expected.get(), a.theirs.get(), small.get());
        BigNumber fresh, inPlace = a.ours;
        ASSERT_TRUE(BigNumber::subtractSmall(fresh, a.ours, k));
        ASSERT_TRUE(BigNumber::subtractSmall(inPlace, inPlace, k));
        EXPECT_TRUE(same(fresh, expected.get()));
        EXPECT_TRUE(same(inPlace, expected.get()));
    }
}

TEST(BigNumber, RemainderAndGcdMatchOpenSsl) {
    Random random(3);
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < kRounds; ++round) {
        Operand a = random.operand(kMaxBits, true);
        Operand b = random.operand(round % 3 == 0 ? 64 : kMaxBits, round % 5 == 0);
        Bn rest = newBn(), selfRest = newBn(), divisor = newBn();
        const bool defined = !BN_is_zero(b.theirs.get()) && !BN_is_negative(b.theirs.get());
        if (defined) {
            BN_nnmod(rest.get(), a.theirs.get(), b.theirs.get(), ctx.get());
        }
        checkBinary(BigNumber::remainder, a, b, defined ? rest.get() : nullptr, nullptr);
        Bn divisorGcd = newBn();
        BN_gcd(divisorGcd.get(), a.theirs.get(), b.theirs.get(), ctx.get());
        Bn selfGcd(BN_dup(a.theirs.get()), BN_free);
        BN_set_negative(selfGcd.get(), 0);
        checkBinary(BigNumber::gcd, a, b, divisorGcd.get(), selfGcd.get());
    }
    // A divisor of zero or below has no remainder; the gcd with zero is the
    // other number's magnitude.
    BigNumber out, seven = BigNumber::fromSmall(7);
    EXPECT_FALSE(BigNumber::remainder(out, seven, BigNumber()));
    EXPECT_FALSE(BigNumber::remainder(out, seven, BigNumber::fromSmall(-3)));
    ASSERT_TRUE(BigNumber::gcd(out, BigNumber(), BigNumber::fromSmall(-9)));
    EXPECT_EQ(BigNumber::compareSmall(out, 9), 0);
}

TEST(BigNumber, InverseMatchesOpenSslAndFailsWithoutOne) {
    Random random(4);
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    int invertible = 0;
    for (int round = 0; round < kRounds; ++round) {
        Operand a = random.operand(kMaxBits, true);
        Operand n = random.operand(round % 4 == 0 ? 48 : 2100, round % 9 == 0, round % 2 == 0);
        Bn expected = newBn();
        const bool defined =
            !BN_is_zero(n.theirs.get()) && !BN_is_negative(n.theirs.get()) &&
            BN_mod_inverse(expected.get(), a.theirs.get(), n.theirs.get(), ctx.get()) != nullptr;
        invertible += defined;
        checkBinary(BigNumber::inverse, a, n, defined ? expected.get() : nullptr, nullptr);
    }
    EXPECT_GT(invertible, kRounds / 4);
    BigNumber out;
    EXPECT_FALSE(BigNumber::inverse(out, BigNumber::fromSmall(6), BigNumber::fromSmall(9)));
    EXPECT_FALSE(BigNumber::inverse(out, BigNumber::fromSmall(3), BigNumber()));
    EXPECT_FALSE(BigNumber::inverse(out, BigNumber::fromSmall(3), BigNumber::fromSmall(1)));
    ASSERT_TRUE(BigNumber::inverse(out, BigNumber::fromSmall(-3), BigNumber::fromSmall(7)));
    EXPECT_EQ(BigNumber::compareSmall(out, 2), 0);  // -3 * 2 = -6 = 1 mod 7
}

}  // namespace
}  // namespace pennaform

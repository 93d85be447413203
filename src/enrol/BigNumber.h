// BigNumber: the signed multi-precision integers of the weak-key screening.
// The component's own arithmetic, no library: the screening checks what a
// provider produced, so it must not share that provider's code.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/SecretBytes.h"

namespace pennaform {

// BigNumber: a sign and a magnitude of 32-bit limbs, least significant
// first. The limbs hold private-key material, so every block they leave
// (release, growth, reassignment) is zeroed before it is freed. Zero is never
// negative. Operations that can fail return false, leaving their output
// unspecified; every output may also be one of the inputs.
class BigNumber {
public:
    using Limb = std::uint32_t;

    BigNumber() = default;
    // fromSmall: the value of a 32-bit signed integer.
    static BigNumber fromSmall(std::int32_t value);

    // load: the non-negative number whose big-endian bytes are `bigEndian`
    // (leading zero bytes skipped; no bytes is 0).
    void load(std::span<const std::uint8_t> bigEndian);

    bool isZero() const { return limbs_.empty(); }
    bool isNegative() const { return negative_; }
    // bitLength: the bits of the magnitude (0 for zero).
    std::size_t bitLength() const;

    // multiply: x = a * b, the sign the product of the signs.
    [[nodiscard]] static bool multiply(BigNumber& x, const BigNumber& a, const BigNumber& b);
    // subtractSmall: x = a - k.
    [[nodiscard]] static bool subtractSmall(BigNumber& x, const BigNumber& a, std::int32_t k);
    // remainder: r = a mod b with 0 <= r < b; false when b <= 0.
    [[nodiscard]] static bool remainder(BigNumber& r, const BigNumber& a, const BigNumber& b);
    // inverse: x = a^-1 mod n with 0 < x < n; false when n <= 1 (no such x
    // modulo 1) or gcd(a, n) != 1.
    [[nodiscard]] static bool inverse(BigNumber& x, const BigNumber& a, const BigNumber& n);
    // gcd: g = gcd(|a|, |b|).
    [[nodiscard]] static bool gcd(BigNumber& g, const BigNumber& a, const BigNumber& b);
    // compare: the signed order of a and b: -1, 0 or +1.
    static int compare(const BigNumber& a, const BigNumber& b);
    // compareSmall: the signed order of a and k.
    static int compareSmall(const BigNumber& a, std::int32_t k);
    // compareMagnitude: the order of |a| and |b|.
    static int compareMagnitude(const BigNumber& a, const BigNumber& b);

private:
    using Limbs = std::vector<Limb, platform::WipingAllocator<Limb>>;

    void trim();
    static Limbs addMagnitudes(const Limbs& a, const Limbs& b);
    // subtractMagnitudes: a - b for |a| >= |b|.
    static Limbs subtractMagnitudes(const Limbs& a, const Limbs& b);
    static BigNumber signedAdd(const BigNumber& a, const BigNumber& b, bool negateB);
    // divide: quotient and remainder of the magnitudes; b must not be 0.
    static void divide(const Limbs& a, const Limbs& b, Limbs* quotient, Limbs& rest);
    static int compareLimbs(const Limbs& a, const Limbs& b);

    Limbs limbs_;  // no leading zero limbs
    bool negative_ = false;
};

}  // namespace pennaform

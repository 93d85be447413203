#include "enrol/BigNumber.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace pennaform {
namespace {

using Limb = BigNumber::Limb;
using Wide = std::uint64_t;
constexpr int kLimbBits = 32;

}  // namespace

BigNumber BigNumber::fromSmall(std::int32_t value) {
    BigNumber number;
    const Wide magnitude = value < 0 ? Wide(-std::int64_t(value)) : Wide(value);
    if (magnitude != 0) number.limbs_.push_back(Limb(magnitude));
    number.negative_ = value < 0;
    return number;
}

void BigNumber::load(std::span<const std::uint8_t> bigEndian) {
    Limbs limbs((bigEndian.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < bigEndian.size(); ++i) {
        const std::size_t fromLow = bigEndian.size() - 1 - i;
        limbs[fromLow / 4] |= Limb(bigEndian[i]) << (8 * (fromLow % 4));
    }
    limbs_ = std::move(limbs);
    negative_ = false;
    trim();
}

void BigNumber::trim() {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
    if (limbs_.empty()) negative_ = false;
}

std::size_t BigNumber::bitLength() const {
    if (limbs_.empty()) return 0;
    return (limbs_.size() - 1) * kLimbBits + std::size_t(std::bit_width(limbs_.back()));
}

int BigNumber::compareLimbs(const Limbs& a, const Limbs& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

int BigNumber::compareMagnitude(const BigNumber& a, const BigNumber& b) {
    return compareLimbs(a.limbs_, b.limbs_);
}

int BigNumber::compare(const BigNumber& a, const BigNumber& b) {
    if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;
    const int magnitude = compareLimbs(a.limbs_, b.limbs_);
    return a.negative_ ? -magnitude : magnitude;
}

int BigNumber::compareSmall(const BigNumber& a, std::int32_t k) {
    return compare(a, fromSmall(k));
}

BigNumber::Limbs BigNumber::addMagnitudes(const Limbs& a, const Limbs& b) {
    const Limbs& longer = a.size() >= b.size() ? a : b;
    const Limbs& shorter = a.size() >= b.size() ? b : a;
    Limbs sum(longer.size() + 1, 0);
    Wide carry = 0;
    for (std::size_t i = 0; i < longer.size(); ++i) {
        carry += Wide(longer[i]) + (i < shorter.size() ? shorter[i] : 0);
        sum[i] = Limb(carry);
        carry >>= kLimbBits;
    }
    sum[longer.size()] = Limb(carry);
    return sum;
}

BigNumber::Limbs BigNumber::subtractMagnitudes(const Limbs& a, const Limbs& b) {
    Limbs difference(a.size(), 0);
    Limb borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Wide subtrahend = Wide(i < b.size() ? b[i] : 0) + borrow;
        difference[i] = Limb(Wide(a[i]) - subtrahend);
        borrow = Wide(a[i]) < subtrahend ? 1 : 0;
    }
    return difference;
}

// signedAdd: a + b, or a - b with negateB, by the signs of the magnitudes.
BigNumber BigNumber::signedAdd(const BigNumber& a, const BigNumber& b, bool negateB) {
    const bool bNegative = b.negative_ != negateB;
    BigNumber result;
    if (a.negative_ == bNegative) {
        result.limbs_ = addMagnitudes(a.limbs_, b.limbs_);
        result.negative_ = a.negative_;
    } else if (compareLimbs(a.limbs_, b.limbs_) >= 0) {
        result.limbs_ = subtractMagnitudes(a.limbs_, b.limbs_);
        result.negative_ = a.negative_;
    } else {
        result.limbs_ = subtractMagnitudes(b.limbs_, a.limbs_);
        result.negative_ = bNegative;
    }
    result.trim();
    return result;
}

bool BigNumber::multiply(BigNumber& x, const BigNumber& a, const BigNumber& b) {
    BigNumber product;
    if (!a.isZero() && !b.isZero()) {
        product.limbs_.assign(a.limbs_.size() + b.limbs_.size(), 0);
        for (std::size_t i = 0; i < a.limbs_.size(); ++i) {
            Wide carry = 0;
            const Wide factor = a.limbs_[i];
            for (std::size_t j = 0; j < b.limbs_.size(); ++j) {
                carry += factor * b.limbs_[j] + product.limbs_[i + j];
                product.limbs_[i + j] = Limb(carry);
                carry >>= kLimbBits;
            }
            product.limbs_[i + b.limbs_.size()] = Limb(carry);
        }
        product.negative_ = a.negative_ != b.negative_;
        product.trim();
    }
    x = std::move(product);
    return true;
}

bool BigNumber::subtractSmall(BigNumber& x, const BigNumber& a, std::int32_t k) {
    x = signedAdd(a, fromSmall(k), true);
    return true;
}

// divide: Knuth's algorithm D (TAOCP vol. 2, 4.3.1) on normalised limbs.
void BigNumber::divide(const Limbs& a, const Limbs& b, Limbs* quotient, Limbs& rest) {
    if (compareLimbs(a, b) < 0) {
        if (quotient) quotient->clear();
        rest = a;
        return;
    }
    const std::size_t n = b.size();
    const std::size_t m = a.size() - n;
    if (n == 1) {
        Limbs q(a.size(), 0);
        Wide carry = 0;
        for (std::size_t i = a.size(); i-- > 0;) {
            const Wide current = (carry << kLimbBits) | a[i];
            q[i] = Limb(current / b[0]);
            carry = current % b[0];
        }
        rest.assign(1, Limb(carry));
        if (quotient) *quotient = std::move(q);
        return;
    }
    const int shift = std::countl_zero(b.back());
    Limbs v(n, 0);
    Limbs u(a.size() + 1, 0);
    for (std::size_t i = n; i-- > 0;) {
        v[i] = Limb((Wide(b[i]) << shift) | (shift && i > 0 ? b[i - 1] >> (kLimbBits - shift) : 0));
    }
    u[a.size()] = shift ? Limb(a.back() >> (kLimbBits - shift)) : 0;
    for (std::size_t i = a.size(); i-- > 0;) {
        u[i] = Limb((Wide(a[i]) << shift) | (shift && i > 0 ? a[i - 1] >> (kLimbBits - shift) : 0));
    }
    Limbs q(m + 1, 0);
    const Wide base = Wide(1) << kLimbBits;
    for (std::size_t j = m + 1; j-- > 0;) {
        const Wide top = (Wide(u[j + n]) << kLimbBits) | u[j + n - 1];
        Wide qhat = top / v[n - 1];
        Wide rhat = top % v[n - 1];
        while (qhat >= base || qhat * v[n - 2] > ((rhat << kLimbBits) | u[j + n - 2])) {
            --qhat;
            rhat += v[n - 1];
            if (rhat >= base) break;
        }
        // Multiply and subtract; add back once when qhat was one too large.
        std::int64_t borrow = 0;
        Wide carry = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const Wide product = qhat * v[i] + carry;
            carry = product >> kLimbBits;
            const std::int64_t difference =
                std::int64_t(u[i + j]) - borrow - std::int64_t(Limb(product));
            u[i + j] = Limb(difference);
            borrow = difference < 0 ? 1 : 0;
        }
        const std::int64_t last = std::int64_t(u[j + n]) - borrow - std::int64_t(carry);
        u[j + n] = Limb(last);
        if (last < 0) {
            --qhat;
            Wide sum = 0;
            for (std::size_t i = 0; i < n; ++i) {
                sum += Wide(u[i + j]) + v[i];
                u[i + j] = Limb(sum);
                sum >>= kLimbBits;
            }
            u[j + n] = Limb(Wide(u[j + n]) + sum);
        }
        q[j] = Limb(qhat);
    }
    rest.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        rest[i] = Limb((u[i] >> shift) | (shift ? Wide(u[i + 1]) << (kLimbBits - shift) : 0));
    }
    if (quotient) *quotient = std::move(q);
}

bool BigNumber::remainder(BigNumber& r, const BigNumber& a, const BigNumber& b) {
    if (b.isZero() || b.negative_) return false;
    BigNumber rest;
    divide(a.limbs_, b.limbs_, nullptr, rest.limbs_);
    rest.trim();
    if (a.negative_ && !rest.isZero()) {
        rest.limbs_ = subtractMagnitudes(b.limbs_, rest.limbs_);
        rest.trim();
    }
    r = std::move(rest);
    return true;
}

bool BigNumber::gcd(BigNumber& g, const BigNumber& a, const BigNumber& b) {
    Limbs x = a.limbs_;
    Limbs y = b.limbs_;
    while (!y.empty()) {
        Limbs rest;
        divide(x, y, nullptr, rest);
        while (!rest.empty() && rest.back() == 0) rest.pop_back();
        x = std::move(y);
        y = std::move(rest);
    }
    BigNumber result;
    result.limbs_ = std::move(x);
    result.trim();
    g = std::move(result);
    return true;
}

// inverse: the extended Euclidean algorithm on (n, a mod n), keeping only
// the coefficient of a.
bool BigNumber::inverse(BigNumber& x, const BigNumber& a, const BigNumber& n) {
    // Modulo 1 no number lies strictly between 0 and n.
    if (compareSmall(n, 1) <= 0) return false;
    BigNumber previous = n;
    BigNumber current;
    if (!remainder(current, a, n)) return false;
    BigNumber previousCoefficient;
    BigNumber currentCoefficient = fromSmall(1);
    while (!current.isZero()) {
        BigNumber quotient;
        BigNumber rest;
        divide(previous.limbs_, current.limbs_, &quotient.limbs_, rest.limbs_);
        quotient.trim();
        rest.trim();
        BigNumber step;
        if (!multiply(step, quotient, currentCoefficient)) return false;
        BigNumber nextCoefficient = signedAdd(previousCoefficient, step, true);
        previous = std::move(current);
        current = std::move(rest);
        previousCoefficient = std::move(currentCoefficient);
        currentCoefficient = std::move(nextCoefficient);
    }
    if (compareSmall(previous, 1) != 0) return false;
    return remainder(x, previousCoefficient, n);
}

}  // namespace pennaform

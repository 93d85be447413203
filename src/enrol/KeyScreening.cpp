#include "enrol/KeyScreening.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "enrol/BigNumber.h"
#include "platform/RsaKeyBlob.h"

namespace pennaform {
namespace {

// KeyNumbers: the key's numbers as the screening reads them.
struct KeyNumbers {
    BigNumber n, e, p, q, dP, dQ, qInv, d;
};

// loadLittleEndian: the number of a blob field, turned big-endian in a
// buffer that is wiped when it goes.
BigNumber loadLittleEndian(platform::ByteView field) {
    std::vector<std::uint8_t, platform::WipingAllocator<std::uint8_t>> bigEndian(field.rbegin(),
                                                                                 field.rend());
    BigNumber number;
    number.load(bigEndian);
    return number;
}

KeyNumbers loadNumbers(const platform::RsaPrivateKeyBlobFields& fields) {
    const std::uint8_t exponent[4] = {
        std::uint8_t(fields.publicExponent >> 24), std::uint8_t(fields.publicExponent >> 16),
        std::uint8_t(fields.publicExponent >> 8), std::uint8_t(fields.publicExponent)};
    KeyNumbers numbers;
    numbers.d = loadLittleEndian(fields.privateExponent);
    numbers.n = loadLittleEndian(fields.modulus);
    numbers.e.load(exponent);
    numbers.p = loadLittleEndian(fields.prime1);
    numbers.q = loadLittleEndian(fields.prime2);
    numbers.dP = loadLittleEndian(fields.exponent1);
    numbers.dQ = loadLittleEndian(fields.exponent2);
    numbers.qInv = loadLittleEndian(fields.coefficient);
    return numbers;
}

// residueEquals: whether a mod m (m > 0) is `expected`.
bool residueEquals(const BigNumber& a, const BigNumber& m, const BigNumber& expected) {
    BigNumber residue;
    return BigNumber::remainder(residue, a, m) && BigNumber::compare(residue, expected) == 0;
}

bool isConsistent(const KeyNumbers& k) {
    BigNumber product, pMinus1, qMinus1, phi, work;
    if (!BigNumber::multiply(product, k.p, k.q) || BigNumber::compare(product, k.n) != 0) {
        return false;
    }
    if (!BigNumber::subtractSmall(pMinus1, k.p, 1) || !residueEquals(k.d, pMinus1, k.dP)) {
        return false;
    }
    if (!BigNumber::subtractSmall(qMinus1, k.q, 1) || !residueEquals(k.d, qMinus1, k.dQ)) {
        return false;
    }
    if (!BigNumber::inverse(work, k.q, k.p) || BigNumber::compare(work, k.qInv) != 0) {
        return false;
    }
    if (!BigNumber::multiply(phi, pMinus1, qMinus1) || !BigNumber::multiply(product, k.d, k.e) ||
        !residueEquals(product, phi, BigNumber::fromSmall(1))) {
        return false;
    }
    return BigNumber::gcd(work, k.e, phi) && BigNumber::compareSmall(work, 1) == 0;
}

}  // namespace

bool isWeakKeyBlob(platform::ByteView blob) {
    std::optional<platform::RsaPrivateKeyBlobFields> fields = platform::readRsaPrivateKeyBlob(blob);
    if (!fields) return true;
    return !isConsistent(loadNumbers(*fields));
}

ScreeningResult screenKey(const platform::RsaKey& key) {
    platform::Outcome<platform::SecretBytes> blob = key.exportPrivateKeyBlob();
    if (!blob) return {true, blob.error()};
    return {isWeakKeyBlob(blob->view()), 0};
}

}  // namespace pennaform

// Fuzz target: BigNumber against OpenSSL's BN. The input is split into two
// operands (the first byte says where, and the signs) and a small integer;
// multiply, subtract small, remainder, inverse, gcd and compare must agree
// with OpenSSL, into a fresh output and into an input alike.
#include <openssl/bn.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "enrol/BigNumber.h"

using namespace pennaform;

namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

void require(bool condition) {
    if (!condition) std::abort();
}

Bn newBn() {
    return Bn(BN_new(), BN_free);
}

bool same(const BigNumber& ours, const BIGNUM* theirs) {
    std::vector<std::uint8_t> magnitude(std::size_t(BN_num_bytes(theirs)));
    BN_bn2bin(theirs, magnitude.data());
    BigNumber expected;
    expected.load(magnitude);
    return BigNumber::compareMagnitude(ours, expected) == 0 &&
           ours.isNegative() == (BN_is_negative(theirs) && !BN_is_zero(theirs));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5 || size > 1200) return 0;
    static BN_CTX* ctx = BN_CTX_new();
    const std::uint8_t control = data[0];
    std::int32_t k = std::int32_t(std::uint32_t(data[1]) << 24 | std::uint32_t(data[2]) << 16 |
                                  std::uint32_t(data[3]) << 8 | data[4]);
    data += 5, size -= 5;
    const std::size_t split = size == 0 ? 0 : (std::size_t(control) * 131) % (size + 1);
    BigNumber a, b;
    a.load({data, split});
    b.load({data + split, size - split});
    Bn theirsA = newBn(), theirsB = newBn(), small = newBn(), out = newBn();
    BN_bin2bn(data, int(split), theirsA.get());
    BN_bin2bn(data + split, int(size - split), theirsB.get());
    const BigNumber minusOne = BigNumber::fromSmall(-1);
    if (control & 1)
        require(BigNumber::multiply(a, a, minusOne)), BN_set_negative(theirsA.get(), 1);
    if (control & 2)
        require(BigNumber::multiply(b, b, minusOne)), BN_set_negative(theirsB.get(), 1);
    BN_set_word(small.get(), static_cast<BN_ULONG>(k < 0 ? -std::int64_t(k) : k));
    BN_set_negative(small.get(), k < 0);

    require(BigNumber::compare(a, b) == BN_cmp(theirsA.get(), theirsB.get()));
    require(BigNumber::compareSmall(a, k) == BN_cmp(theirsA.get(), small.get()));

    BigNumber x = a;
    require(BigNumber::multiply(x, x, b));
    BN_mul(out.get(), theirsA.get(), theirsB.get(), ctx);
    require(same(x, out.get()));

    require(BigNumber::subtractSmall(x, a, k));
    BN_sub(out.get(), theirsA.get(), small.get());
    require(same(x, out.get()));

    const bool positive = !BN_is_zero(theirsB.get()) && !BN_is_negative(theirsB.get());
    x = b;
    require(BigNumber::remainder(x, a, x) == positive);
    if (positive) {
        BN_nnmod(out.get(), theirsA.get(), theirsB.get(), ctx);
        require(same(x, out.get()));
    }
    x = a;
    require(BigNumber::gcd(x, x, b));
    BN_gcd(out.get(), theirsA.get(), theirsB.get(), ctx);
    require(same(x, out.get()));

    x = a;
    const bool invertible =
        positive && BN_mod_inverse(out.get(), theirsA.get(), theirsB.get(), ctx) != nullptr;
    require(BigNumber::inverse(x, x, b) == invertible);
    if (invertible) require(same(x, out.get()));
    return 0;
}

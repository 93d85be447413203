// SHA-256 block function, FIPS 180-4 section 6.2.2: a loop over the constant
// table, eight rounds per pass, the schedule in a window of sixteen words.
#include <bit>

#include "crypto/DigestKernels.h"
#include "crypto/Sha2Constants.h"
#include "crypto/WordBytes.h"

namespace pennaform::digests {
namespace {

// The functions of section 4.1.2.
inline std::uint32_t bigSigma0(std::uint32_t x) {
    return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22);
}
inline std::uint32_t bigSigma1(std::uint32_t x) {
    return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25);
}
inline std::uint32_t smallSigma0(std::uint32_t x) {
    return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3);
}
inline std::uint32_t smallSigma1(std::uint32_t x) {
    return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10);
}
inline std::uint32_t ch(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline std::uint32_t maj(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & y) | (z & (x | y));
}

// One round with the message word w and constant k. The eight working
// variables rotate through the argument positions: the new `a` lands in h's
// place and the new `e` in d's.
inline void sha256Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                        std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h,
                        std::uint32_t k, std::uint32_t w) {
    h += bigSigma1(e) + ch(e, f, g) + k + w;
    d += h;
    h += bigSigma0(a) + maj(a, b, c);
}

void sha256Block(std::uint32_t* state, const std::uint8_t* p) {
    std::uint32_t w[16];
    for (int t = 0; t < 16; ++t) w[t] = loadBe32(p + 4 * t);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];

    const auto& k = kSha256RoundConstants;
    for (int t = 0; t < 64; t += 8) {
        if (t >= 16) {
            for (int j = t; j < t + 8; ++j) {
                w[j & 15] +=
                    smallSigma1(w[(j - 2) & 15]) + w[(j - 7) & 15] + smallSigma0(w[(j - 15) & 15]);
            }
        }
        sha256Round(a, b, c, d, e, f, g, h, k[t], w[t & 15]);
        sha256Round(h, a, b, c, d, e, f, g, k[t + 1], w[(t + 1) & 15]);
        sha256Round(g, h, a, b, c, d, e, f, k[t + 2], w[(t + 2) & 15]);
        sha256Round(f, g, h, a, b, c, d, e, k[t + 3], w[(t + 3) & 15]);
        sha256Round(e, f, g, h, a, b, c, d, k[t + 4], w[(t + 4) & 15]);
        sha256Round(d, e, f, g, h, a, b, c, k[t + 5], w[(t + 5) & 15]);
        sha256Round(c, d, e, f, g, h, a, b, k[t + 6], w[(t + 6) & 15]);
        sha256Round(b, c, d, e, f, g, h, a, k[t + 7], w[(t + 7) & 15]);
    }

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

}  // namespace

void sha256BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks,
                          std::size_t blockCount) {
    for (std::size_t n = 0; n < blockCount; ++n) sha256Block(state, blocks + 64 * n);
}

}  // namespace pennaform::digests

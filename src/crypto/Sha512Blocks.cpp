// SHA-512 block function, FIPS 180-4 section 6.4.2: a loop over the constant
// table, eight rounds per pass, the schedule in a window of sixteen words.
#include <bit>

#include "crypto/DigestKernels.h"
#include "crypto/Sha2Constants.h"
#include "crypto/WordBytes.h"

namespace pennaform::digests {
namespace {

// The functions of section 4.1.3.
inline std::uint64_t bigSigma0(std::uint64_t x) {
    return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
inline std::uint64_t bigSigma1(std::uint64_t x) {
    return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
inline std::uint64_t smallSigma0(std::uint64_t x) {
    return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7);
}
inline std::uint64_t smallSigma1(std::uint64_t x) {
    return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6);
}
inline std::uint64_t ch(std::uint64_t x, std::uint64_t y, std::uint64_t z) {
    return z ^ (x & (y ^ z));
}
inline std::uint64_t maj(std::uint64_t x, std::uint64_t y, std::uint64_t z) {
    return (x & y) | (z & (x | y));
}

// One round; the variables rotate through the argument positions as in
// SHA-256.
inline void sha512Round(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t& d,
                        std::uint64_t e, std::uint64_t f, std::uint64_t g, std::uint64_t& h,
                        std::uint64_t k, std::uint64_t w) {
    h += bigSigma1(e) + ch(e, f, g) + k + w;
    d += h;
    h += bigSigma0(a) + maj(a, b, c);
}

void sha512Block(std::uint64_t* state, const std::uint8_t* p) {
    std::uint64_t w[16];
    for (int t = 0; t < 16; ++t) w[t] = loadBe64(p + 8 * t);
    std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];

    const auto& k = kSha512RoundConstants;
    for (int t = 0; t < 80; t += 8) {
        if (t >= 16) {
            for (int j = t; j < t + 8; ++j) {
                w[j & 15] +=
                    smallSigma1(w[(j - 2) & 15]) + w[(j - 7) & 15] + smallSigma0(w[(j - 15) & 15]);
            }
        }
        sha512Round(a, b, c, d, e, f, g, h, k[t], w[t & 15]);
        sha512Round(h, a, b, c, d, e, f, g, k[t + 1], w[(t + 1) & 15]);
        sha512Round(g, h, a, b, c, d, e, f, k[t + 2], w[(t + 2) & 15]);
        sha512Round(f, g, h, a, b, c, d, e, k[t + 3], w[(t + 3) & 15]);
        sha512Round(e, f, g, h, a, b, c, d, k[t + 4], w[(t + 4) & 15]);
        sha512Round(d, e, f, g, h, a, b, c, k[t + 5], w[(t + 5) & 15]);
        sha512Round(c, d, e, f, g, h, a, b, k[t + 6], w[(t + 6) & 15]);
        sha512Round(b, c, d, e, f, g, h, a, k[t + 7], w[(t + 7) & 15]);
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

void sha512BlocksPortable(std::uint64_t* state, const std::uint8_t* blocks,
                          std::size_t blockCount) {
    for (std::size_t n = 0; n < blockCount; ++n) sha512Block(state, blocks + 128 * n);
}

}  // namespace pennaform::digests

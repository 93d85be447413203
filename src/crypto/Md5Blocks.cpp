// MD5 block function, RFC 1321 section 3.4. MD5 is one serial chain of 64
// steps, so the work is in keeping each step's critical path short: every
// step adds its constant and message word to `a` before the round function's
// result is ready, and the second round's function is split into two
// disjoint halves so that only one of them waits for the newest word.
#include <bit>

#include "crypto/DigestKernels.h"
#include "crypto/WordBytes.h"

namespace pennaform::digests {
namespace {

// The four round functions of section 3.4 in forms with short dependency
// chains on b, the word computed last.
inline std::uint32_t f(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return d ^ (b & (c ^ d));
}
inline std::uint32_t h(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return b ^ c ^ d;
}
inline std::uint32_t i(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    return c ^ (b | ~d);
}

template <int S>
inline void stepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t mk) {
    a = b + std::rotl(a + mk + f(b, c, d), S);
}
// G(b,c,d) = (b & d) | (c & ~d): the two halves share no bits, so they can be
// added one at a time, the half without b first.
template <int S>
inline void stepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t mk) {
    a = b + std::rotl(a + mk + (c & ~d) + (b & d), S);
}
template <int S>
inline void stepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t mk) {
    a = b + std::rotl(a + mk + h(b, c, d), S);
}
template <int S>
inline void stepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t mk) {
    a = b + std::rotl(a + mk + i(b, c, d), S);
}

void md5Block(std::uint32_t* state, const std::uint8_t* p) {
    std::uint32_t m[16];
    for (int k = 0; k < 16; ++k) m[k] = loadLe32(p + 4 * k);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    // Round 1.
    stepF<7>(a, b, c, d, m[0] + 0xd76aa478);
    stepF<12>(d, a, b, c, m[1] + 0xe8c7b756);
    stepF<17>(c, d, a, b, m[2] + 0x242070db);
    stepF<22>(b, c, d, a, m[3] + 0xc1bdceee);
    stepF<7>(a, b, c, d, m[4] + 0xf57c0faf);
    stepF<12>(d, a, b, c, m[5] + 0x4787c62a);
    stepF<17>(c, d, a, b, m[6] + 0xa8304613);
    stepF<22>(b, c, d, a, m[7] + 0xfd469501);
    stepF<7>(a, b, c, d, m[8] + 0x698098d8);
    stepF<12>(d, a, b, c, m[9] + 0x8b44f7af);
    stepF<17>(c, d, a, b, m[10] + 0xffff5bb1);
    stepF<22>(b, c, d, a, m[11] + 0x895cd7be);
    stepF<7>(a, b, c, d, m[12] + 0x6b901122);
    stepF<12>(d, a, b, c, m[13] + 0xfd987193);
    stepF<17>(c, d, a, b, m[14] + 0xa679438e);
    stepF<22>(b, c, d, a, m[15] + 0x49b40821);

    // Round 2.
    stepG<5>(a, b, c, d, m[1] + 0xf61e2562);
    stepG<9>(d, a, b, c, m[6] + 0xc040b340);
    stepG<14>(c, d, a, b, m[11] + 0x265e5a51);
    stepG<20>(b, c, d, a, m[0] + 0xe9b6c7aa);
    stepG<5>(a, b, c, d, m[5] + 0xd62f105d);
    stepG<9>(d, a, b, c, m[10] + 0x02441453);
    stepG<14>(c, d, a, b, m[15] + 0xd8a1e681);
    stepG<20>(b, c, d, a, m[4] + 0xe7d3fbc8);
    stepG<5>(a, b, c, d, m[9] + 0x21e1cde6);
    stepG<9>(d, a, b, c, m[14] + 0xc33707d6);
    stepG<14>(c, d, a, b, m[3] + 0xf4d50d87);
    stepG<20>(b, c, d, a, m[8] + 0x455a14ed);
    stepG<5>(a, b, c, d, m[13] + 0xa9e3e905);
    stepG<9>(d, a, b, c, m[2] + 0xfcefa3f8);
    stepG<14>(c, d, a, b, m[7] + 0x676f02d9);
    stepG<20>(b, c, d, a, m[12] + 0x8d2a4c8a);

    // Round 3.
    stepH<4>(a, b, c, d, m[5] + 0xfffa3942);
    stepH<11>(d, a, b, c, m[8] + 0x8771f681);
    stepH<16>(c, d, a, b, m[11] + 0x6d9d6122);
    stepH<23>(b, c, d, a, m[14] + 0xfde5380c);
    stepH<4>(a, b, c, d, m[1] + 0xa4beea44);
    stepH<11>(d, a, b, c, m[4] + 0x4bdecfa9);
    stepH<16>(c, d, a, b, m[7] + 0xf6bb4b60);
    stepH<23>(b, c, d, a, m[10] + 0xbebfbc70);
    stepH<4>(a, b, c, d, m[13] + 0x289b7ec6);
    stepH<11>(d, a, b, c, m[0] + 0xeaa127fa);
    stepH<16>(c, d, a, b, m[3] + 0xd4ef3085);
    stepH<23>(b, c, d, a, m[6] + 0x04881d05);
    stepH<4>(a, b, c, d, m[9] + 0xd9d4d039);
    stepH<11>(d, a, b, c, m[12] + 0xe6db99e5);
    stepH<16>(c, d, a, b, m[15] + 0x1fa27cf8);
    stepH<23>(b, c, d, a, m[2] + 0xc4ac5665);

    // Round 4.
    stepI<6>(a, b, c, d, m[0] + 0xf4292244);
    stepI<10>(d, a, b, c, m[7] + 0x432aff97);
    stepI<15>(c, d, a, b, m[14] + 0xab9423a7);
    stepI<21>(b, c, d, a, m[5] + 0xfc93a039);
    stepI<6>(a, b, c, d, m[12] + 0x655b59c3);
    stepI<10>(d, a, b, c, m[3] + 0x8f0ccc92);
    stepI<15>(c, d, a, b, m[10] + 0xffeff47d);
    stepI<21>(b, c, d, a, m[1] + 0x85845dd1);
    stepI<6>(a, b, c, d, m[8] + 0x6fa87e4f);
    stepI<10>(d, a, b, c, m[15] + 0xfe2ce6e0);
    stepI<15>(c, d, a, b, m[6] + 0xa3014314);
    stepI<21>(b, c, d, a, m[13] + 0x4e0811a1);
    stepI<6>(a, b, c, d, m[4] + 0xf7537e82);
    stepI<10>(d, a, b, c, m[11] + 0xbd3af235);
    stepI<15>(c, d, a, b, m[2] + 0x2ad7d2bb);
    stepI<21>(b, c, d, a, m[9] + 0xeb86d391);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void md5BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount) {
    for (std::size_t n = 0; n < blockCount; ++n) md5Block(state, blocks + 64 * n);
}

}  // namespace pennaform::digests

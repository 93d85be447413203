// SHA-1 block function, FIPS 180-4 section 6.1.2, fully unrolled, with the
// message schedule kept in a circular window of sixteen words.
#include <bit>

#include "crypto/DigestKernels.h"
#include "crypto/WordBytes.h"

namespace pennaform::digests {
namespace {

// Round functions of section 4.1.1: Ch, Parity and Maj.
inline std::uint32_t ch(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline std::uint32_t parity(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return x ^ y ^ z;
}
inline std::uint32_t maj(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & y) | (z & (x | y));
}

// scheduleWord: W[t] for t >= 16, written over W[t - 16] in the window.
inline std::uint32_t scheduleWord(std::uint32_t* w, int t) {
    const std::uint32_t next =
        std::rotl(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
    w[t & 15] = next;
    return next;
}

// One round t with the function F and constant K. The five working variables
// rotate through the argument positions instead of being moved.
template <int T, std::uint32_t (*F)(std::uint32_t, std::uint32_t, std::uint32_t), std::uint32_t K>
inline void sha1Round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t& e, std::uint32_t* w) {
    const std::uint32_t word = T < 16 ? w[T] : scheduleWord(w, T);
    e += std::rotl(a, 5) + F(b, c, d) + K + word;
    b = std::rotl(b, 30);
}

constexpr std::uint32_t k0 = 0x5a827999, k1 = 0x6ed9eba1, k2 = 0x8f1bbcdc, k3 = 0xca62c1d6;

// Five rounds starting at T; after them the variables are back in place.
template <int T, std::uint32_t (*F)(std::uint32_t, std::uint32_t, std::uint32_t), std::uint32_t K>
inline void fiveRounds(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d,
                       std::uint32_t& e, std::uint32_t* w) {
    sha1Round<T, F, K>(a, b, c, d, e, w);
    sha1Round<T + 1, F, K>(e, a, b, c, d, w);
    sha1Round<T + 2, F, K>(d, e, a, b, c, w);
    sha1Round<T + 3, F, K>(c, d, e, a, b, w);
    sha1Round<T + 4, F, K>(b, c, d, e, a, w);
}

void sha1Block(std::uint32_t* state, const std::uint8_t* p) {
    std::uint32_t w[16];
    for (int t = 0; t < 16; ++t) w[t] = loadBe32(p + 4 * t);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];

    fiveRounds<0, ch, k0>(a, b, c, d, e, w);
    fiveRounds<5, ch, k0>(a, b, c, d, e, w);
    fiveRounds<10, ch, k0>(a, b, c, d, e, w);
    fiveRounds<15, ch, k0>(a, b, c, d, e, w);
    fiveRounds<20, parity, k1>(a, b, c, d, e, w);
    fiveRounds<25, parity, k1>(a, b, c, d, e, w);
    fiveRounds<30, parity, k1>(a, b, c, d, e, w);
    fiveRounds<35, parity, k1>(a, b, c, d, e, w);
    fiveRounds<40, maj, k2>(a, b, c, d, e, w);
    fiveRounds<45, maj, k2>(a, b, c, d, e, w);
    fiveRounds<50, maj, k2>(a, b, c, d, e, w);
    fiveRounds<55, maj, k2>(a, b, c, d, e, w);
    fiveRounds<60, parity, k3>(a, b, c, d, e, w);
    fiveRounds<65, parity, k3>(a, b, c, d, e, w);
    fiveRounds<70, parity, k3>(a, b, c, d, e, w);
    fiveRounds<75, parity, k3>(a, b, c, d, e, w);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

void sha1BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t blockCount) {
    for (std::size_t n = 0; n < blockCount; ++n) sha1Block(state, blocks + 64 * n);
}

}  // namespace pennaform::digests

// SHA-256 and SHA-512 block functions, FIPS 180-4 sections 6.2.2 and 6.4.2:
// a loop over the constant table, eight rounds per pass, the schedule in a
// window of sixteen words. The two differ only in the word size, the number
// of rounds (the length of the constant table) and the rotation amounts of
// the sigma functions, so one template serves both.
#include <bit>
#include <type_traits>

#include "crypto/DigestKernels.h"
#include "crypto/Sha2Constants.h"
#include "crypto/WordBytes.h"

namespace pennaform::digests {
namespace {

// The amounts of the four sigma functions of sections 4.1.2 and 4.1.3. The
// big ones rotate by all three amounts; the small ones rotate by the first
// two and shift right by the third.
struct SigmaAmounts {
    int bigSigma0[3];
    int bigSigma1[3];
    int smallSigma0[3];
    int smallSigma1[3];
};

constexpr SigmaAmounts kSha256Sigmas{{2, 13, 22}, {6, 11, 25}, {7, 18, 3}, {17, 19, 10}};
constexpr SigmaAmounts kSha512Sigmas{{28, 34, 39}, {14, 18, 41}, {1, 8, 7}, {19, 61, 6}};

template <typename Word>
inline Word rotations(Word x, const int (&amounts)[3]) {
    return std::rotr(x, amounts[0]) ^ std::rotr(x, amounts[1]) ^ std::rotr(x, amounts[2]);
}
template <typename Word>
inline Word rotationsAndShift(Word x, const int (&amounts)[3]) {
    return std::rotr(x, amounts[0]) ^ std::rotr(x, amounts[1]) ^ (x >> amounts[2]);
}
template <typename Word>
inline Word ch(Word x, Word y, Word z) {
    return z ^ (x & (y ^ z));
}
template <typename Word>
inline Word maj(Word x, Word y, Word z) {
    return (x & y) | (z & (x | y));
}

// Sha2: the block function of the SHA-2 member with these round constants
// (whose element type is the word) and these sigma amounts.
template <const auto& kRoundConstants, SigmaAmounts kSigmas>
struct Sha2 {
    using Word = typename std::remove_cvref_t<decltype(kRoundConstants)>::value_type;
    static constexpr int kRounds = int(kRoundConstants.size());
    static constexpr std::size_t kBlockBytes = 16 * sizeof(Word);

    static void blocks(Word* state, const std::uint8_t* blocks, std::size_t blockCount) {
        for (std::size_t n = 0; n < blockCount; ++n) block(state, blocks + kBlockBytes * n);
    }

    // One round with the message word w and constant k. The eight working
    // variables rotate through the argument positions: the new `a` lands in
    // h's place and the new `e` in d's.
    static void round(Word a, Word b, Word c, Word& d, Word e, Word f, Word g, Word& h, Word k,
                      Word w) {
        h += rotations(e, kSigmas.bigSigma1) + ch(e, f, g) + k + w;
        d += h;
        h += rotations(a, kSigmas.bigSigma0) + maj(a, b, c);
    }

    static void block(Word* state, const std::uint8_t* p) {
        Word w[16];
        for (int t = 0; t < 16; ++t) w[t] = loadWord<Word>(p + sizeof(Word) * t, true);
        Word a = state[0], b = state[1], c = state[2], d = state[3];
        Word e = state[4], f = state[5], g = state[6], h = state[7];

        const auto& k = kRoundConstants;
        for (int t = 0; t < kRounds; t += 8) {
            if (t >= 16) {
                for (int j = t; j < t + 8; ++j) {
                    w[j & 15] += rotationsAndShift(w[(j - 2) & 15], kSigmas.smallSigma1) +
                                 w[(j - 7) & 15] +
                                 rotationsAndShift(w[(j - 15) & 15], kSigmas.smallSigma0);
                }
            }
            round(a, b, c, d, e, f, g, h, k[t], w[t & 15]);
            round(h, a, b, c, d, e, f, g, k[t + 1], w[(t + 1) & 15]);
            round(g, h, a, b, c, d, e, f, k[t + 2], w[(t + 2) & 15]);
            round(f, g, h, a, b, c, d, e, k[t + 3], w[(t + 3) & 15]);
            round(e, f, g, h, a, b, c, d, k[t + 4], w[(t + 4) & 15]);
            round(d, e, f, g, h, a, b, c, k[t + 5], w[(t + 5) & 15]);
            round(c, d, e, f, g, h, a, b, k[t + 6], w[(t + 6) & 15]);
            round(b, c, d, e, f, g, h, a, k[t + 7], w[(t + 7) & 15]);
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
};

using Sha256 = Sha2<kSha256RoundConstants, kSha256Sigmas>;
using Sha512 = Sha2<kSha512RoundConstants, kSha512Sigmas>;
static_assert(std::is_same_v<Sha256::Word, std::uint32_t> && Sha256::kBlockBytes == 64);
static_assert(std::is_same_v<Sha512::Word, std::uint64_t> && Sha512::kBlockBytes == 128);

}  // namespace

void sha256BlocksPortable(std::uint32_t* state, const std::uint8_t* blocks,
                          std::size_t blockCount) {
    Sha256::blocks(state, blocks, blockCount);
}

void sha512BlocksPortable(std::uint64_t* state, const std::uint8_t* blocks,
                          std::size_t blockCount) {
    Sha512::blocks(state, blocks, blockCount);
}

}  // namespace pennaform::digests

// SHA-512 block function with the message schedule in AVX2 and the rounds in
// scalar code with BMI2 rotates, compiled for them with a function-level
// target so the build needs no special flags; called only when the CPU has
// both. The schedule is computed for two blocks at once, one block in each
// 128-bit lane, each lane holding two consecutive words, and its steps for
// the next pair of blocks run among the rounds of the current pair, which
// read their words-plus-constants from memory.
#if defined(__x86_64__)

#include <immintrin.h>

#include <bit>

#include "crypto/DigestKernels.h"
#include "crypto/Sha2Constants.h"

namespace pennaform::digests {
namespace {

#define PENNAFORM_AVX2_TARGET __attribute__((target("avx2,bmi,bmi2")))

// Words plus constants for two blocks: entry [t/2] holds, for words t and
// t+1, block one's pair in its low half and block two's in its high half.
struct alignas(32) ScheduledPairs {
    __m256i pairs[40];
};

template <int N>
PENNAFORM_AVX2_TARGET inline __m256i rotr(__m256i x) {
    return _mm256_or_si256(_mm256_srli_epi64(x, N), _mm256_slli_epi64(x, 64 - N));
}

// sigma0 and sigma1 of section 4.1.3 on four words.
PENNAFORM_AVX2_TARGET inline __m256i smallSigma0(__m256i x) {
    return _mm256_xor_si256(_mm256_xor_si256(rotr<1>(x), rotr<8>(x)), _mm256_srli_epi64(x, 7));
}
PENNAFORM_AVX2_TARGET inline __m256i smallSigma1(__m256i x) {
    return _mm256_xor_si256(_mm256_xor_si256(rotr<19>(x), rotr<61>(x)), _mm256_srli_epi64(x, 6));
}

// Schedule: the message schedule of two blocks (section 6.4.2 step 1),
// built one pair of words at a time so that its steps can be spread among
// the rounds of the blocks before: each step waits on the one before it, and
// alone they would leave the scalar units idle. The last sixteen words of
// each block stay in registers as eight pairs, oldest first.
class Schedule {
public:
    // begin: loads both blocks' first sixteen words and stores them with
    // their constants; 32 steps remain.
    PENNAFORM_AVX2_TARGET void begin(const std::uint8_t* first, const std::uint8_t* second,
                                     ScheduledPairs& out) {
        out_ = &out;
        r0_ = loadPair(first, second, 0), r1_ = loadPair(first, second, 1);
        r2_ = loadPair(first, second, 2), r3_ = loadPair(first, second, 3);
        r4_ = loadPair(first, second, 4), r5_ = loadPair(first, second, 5);
        r6_ = loadPair(first, second, 6), r7_ = loadPair(first, second, 7);
        next_ = 8;
    }
    bool done() const { return next_ == 40; }
    // step: words t and t+1 (t = 2 * next_) of both blocks,
    // W[t] = sigma1(W[t-2]) + W[t-7] + sigma0(W[t-15]) + W[t-16].
    PENNAFORM_AVX2_TARGET void step() {
        const __m256i w15 = _mm256_alignr_epi8(r1_, r0_, 8);  // W[t-15], W[t-14]
        const __m256i w7 = _mm256_alignr_epi8(r5_, r4_, 8);   // W[t-7], W[t-6]
        // r0_ holds W[t-16], W[t-15]; r7_ holds W[t-2], W[t-1].
        const __m256i words = _mm256_add_epi64(_mm256_add_epi64(r0_, smallSigma0(w15)),
                                               _mm256_add_epi64(w7, smallSigma1(r7_)));
        r0_ = r1_, r1_ = r2_, r2_ = r3_, r3_ = r4_, r4_ = r5_, r5_ = r6_, r6_ = r7_;
        r7_ = words;
        out_->pairs[next_] = _mm256_add_epi64(words, constantPair(next_));
        ++next_;
    }

private:
    // loadPair: words 2j and 2j+1 of both blocks, byte order fixed, stored
    // with their constants.
    PENNAFORM_AVX2_TARGET __m256i loadPair(const std::uint8_t* first, const std::uint8_t* second,
                                           int j) {
        const __m256i swapEachWord = _mm256_set_epi64x(0x08090a0b0c0d0e0f, 0x0001020304050607,
                                                       0x08090a0b0c0d0e0f, 0x0001020304050607);
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * j));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * j));
        const __m256i words = _mm256_shuffle_epi8(
            _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), swapEachWord);
        out_->pairs[j] = _mm256_add_epi64(words, constantPair(j));
        return words;
    }
    PENNAFORM_AVX2_TARGET static __m256i constantPair(int j) {
        return _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(kSha512RoundConstants.data() + 2 * j)));
    }

    __m256i r0_, r1_, r2_, r3_, r4_, r5_, r6_, r7_;
    ScheduledPairs* out_ = nullptr;
    int next_ = 40;
};

PENNAFORM_AVX2_TARGET inline std::uint64_t bigSigma0(std::uint64_t x) {
    return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
PENNAFORM_AVX2_TARGET inline std::uint64_t bigSigma1(std::uint64_t x) {
    return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}

// settled: hands `x` through an empty asm so the compiler keeps the sum as
// written; left to itself it regroups the additions below by its own ranking
// and puts the slowest term early in the chain.
PENNAFORM_AVX2_TARGET inline std::uint64_t settled(std::uint64_t x) {
    __asm__("" : "+r"(x));
    return x;
}

// One round (section 6.4.2 step 3) with wk = W[t] + K[t]. The variables
// rotate through the argument positions (the new a lands in h's place, the
// new e in d's). The sums are grouped so that each new word waits as little
// as possible on the word computed just before it: the terms from older words
// are added first and Sigma last, and Ch and Maj are written as sums of
// disjoint bit sets so that their parts can be added one at a time.
PENNAFORM_AVX2_TARGET inline void sha512Round(std::uint64_t a, std::uint64_t b, std::uint64_t c,
                                              std::uint64_t& d, std::uint64_t e, std::uint64_t f,
                                              std::uint64_t g, std::uint64_t& h, std::uint64_t wk) {
    const std::uint64_t hk = h + wk;
    const std::uint64_t ch = (e & f) + (~e & g);
    const std::uint64_t s1 = bigSigma1(e);
    const std::uint64_t t1 = settled(hk + ch) + s1;
    d = settled(settled(d + hk) + ch) + s1;
    h = settled(settled(t1 + (b & c)) + (a & (b ^ c))) + bigSigma0(a);
}

// rounds: the 80 rounds of one block from its scheduled words, `lane`
// picking the block (0 or 1) in the pairs; two steps of `pending` go along
// with every eight rounds until it is done.
PENNAFORM_AVX2_TARGET __attribute__((always_inline)) inline void rounds(
    std::uint64_t* state, const ScheduledPairs& scheduled, int lane, Schedule& pending) {
    const auto* wk = reinterpret_cast<const std::uint64_t*>(scheduled.pairs) + 2 * lane;
    std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    // Word t of this block sits at wk[(t / 2) * 4 + t % 2].
    for (int t = 0; t < 80; t += 8, wk += 16) {
        if (!pending.done()) {
            pending.step();
            pending.step();
        }
        sha512Round(a, b, c, d, e, f, g, h, wk[0]);
        sha512Round(h, a, b, c, d, e, f, g, wk[1]);
        sha512Round(g, h, a, b, c, d, e, f, wk[4]);
        sha512Round(f, g, h, a, b, c, d, e, wk[5]);
        sha512Round(e, f, g, h, a, b, c, d, wk[8]);
        sha512Round(d, e, f, g, h, a, b, c, wk[9]);
        sha512Round(c, d, e, f, g, h, a, b, wk[12]);
        sha512Round(b, c, d, e, f, g, h, a, wk[13]);
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

PENNAFORM_AVX2_TARGET void sha512BlocksAvx2(std::uint64_t* state, const std::uint8_t* blocks,
                                            std::size_t blockCount) {
    if (blockCount == 0) return;
    // Blocks go in pairs; a last odd block is scheduled in both lanes and
    // only the first is used. The schedule of the next pair is built while
    // the rounds of the current one run.
    ScheduledPairs buffers[2];
    Schedule schedule;
    auto beginPair = [&](const std::uint8_t* first, std::size_t left, ScheduledPairs& out) {
        schedule.begin(first, left >= 2 ? first + 128 : first, out);
    };
    beginPair(blocks, blockCount, buffers[0]);
    while (!schedule.done()) schedule.step();
    for (int current = 0; blockCount > 0; current ^= 1) {
        const std::size_t inPair = blockCount >= 2 ? 2 : 1;
        blocks += 128 * inPair;
        blockCount -= inPair;
        if (blockCount > 0) beginPair(blocks, blockCount, buffers[current ^ 1]);
        rounds(state, buffers[current], 0, schedule);
        if (inPair == 2) rounds(state, buffers[current], 1, schedule);
        while (!schedule.done()) schedule.step();
    }
}

}  // namespace pennaform::digests

#endif

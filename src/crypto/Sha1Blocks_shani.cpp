// SHA-1 block function on the SHA extensions (SHA1RNDS4, SHA1NEXTE,
// SHA1MSG1, SHA1MSG2), compiled for them with a function-level target so the
// build needs no special flags; called only when the CPU has them.
//
// Register layout, as the instructions define it: one register holds A, B, C,
// D with A in the highest dword; message registers hold four schedule words
// with the earliest in the highest dword; E rides in the highest dword of the
// register added to the first message words of each group of four rounds.
#if defined(__x86_64__)

#include <immintrin.h>

#include "crypto/DigestKernels.h"

namespace pennaform::digests {
namespace {

#define PENNAFORM_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// loadWords: four big-endian message words, the first in the highest dword.
PENNAFORM_SHA_TARGET inline __m128i loadWords(const std::uint8_t* p) {
    const __m128i reverseBytes = _mm_set_epi64x(0x0001020304050607, 0x08090a0b0c0d0e0f);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverseBytes);
}

// nextWords: schedule words 4g..4g+3 from the four groups before them:
// W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]) (section 6.1.2).
PENNAFORM_SHA_TARGET inline __m128i nextWords(__m128i g4, __m128i g3, __m128i g2, __m128i g1) {
    return _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(g4, g3), g2), g1);
}

// Four rounds with round function F (0: Ch, 1: Parity, 2: Maj, 3: Parity)
// on message group `words`; `previous` holds A..D of four rounds before,
// from which the instruction derives this group's E.
template <int F>
PENNAFORM_SHA_TARGET inline void fourRounds(__m128i& abcd, __m128i& previous, __m128i words) {
    const __m128i wordsAndE = _mm_sha1nexte_epu32(previous, words);
    previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, wordsAndE, F);
}

PENNAFORM_SHA_TARGET void sha1BlockShaNi(__m128i& abcd, __m128i& e, const std::uint8_t* p) {
    const __m128i abcdBefore = abcd;
    const __m128i eBefore = e;
    __m128i m0 = loadWords(p), m1 = loadWords(p + 16), m2 = loadWords(p + 32),
            m3 = loadWords(p + 48);

    // Rounds 0-3 take E directly; every later group derives it.
    __m128i previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e, m0), 0);
    fourRounds<0>(abcd, previous, m1);
    fourRounds<0>(abcd, previous, m2);
    fourRounds<0>(abcd, previous, m3);
    m0 = nextWords(m0, m1, m2, m3);
    fourRounds<0>(abcd, previous, m0);  // rounds 16-19
    m1 = nextWords(m1, m2, m3, m0);
    fourRounds<1>(abcd, previous, m1);
    m2 = nextWords(m2, m3, m0, m1);
    fourRounds<1>(abcd, previous, m2);
    m3 = nextWords(m3, m0, m1, m2);
    fourRounds<1>(abcd, previous, m3);
    m0 = nextWords(m0, m1, m2, m3);
    fourRounds<1>(abcd, previous, m0);
    m1 = nextWords(m1, m2, m3, m0);
    fourRounds<1>(abcd, previous, m1);  // rounds 36-39
    m2 = nextWords(m2, m3, m0, m1);
    fourRounds<2>(abcd, previous, m2);
    m3 = nextWords(m3, m0, m1, m2);
    fourRounds<2>(abcd, previous, m3);
    m0 = nextWords(m0, m1, m2, m3);
    fourRounds<2>(abcd, previous, m0);
    m1 = nextWords(m1, m2, m3, m0);
    fourRounds<2>(abcd, previous, m1);
    m2 = nextWords(m2, m3, m0, m1);
    fourRounds<2>(abcd, previous, m2);  // rounds 56-59
    m3 = nextWords(m3, m0, m1, m2);
    fourRounds<3>(abcd, previous, m3);
    m0 = nextWords(m0, m1, m2, m3);
    fourRounds<3>(abcd, previous, m0);
    m1 = nextWords(m1, m2, m3, m0);
    fourRounds<3>(abcd, previous, m1);
    m2 = nextWords(m2, m3, m0, m1);
    fourRounds<3>(abcd, previous, m2);
    m3 = nextWords(m3, m0, m1, m2);
    fourRounds<3>(abcd, previous, m3);  // rounds 76-79

    // E after round 79 is A of four rounds before, rotated; add the saved E.
    // The lower dwords of eBefore are zero, so e keeps them zero.
    e = _mm_sha1nexte_epu32(previous, eBefore);
    abcd = _mm_add_epi32(abcd, abcdBefore);
}

}  // namespace

PENNAFORM_SHA_TARGET void sha1BlocksShaNi(std::uint32_t* state, const std::uint8_t* blocks,
                                          std::size_t blockCount) {
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e = _mm_set_epi32(int(state[4]), 0, 0, 0);
    for (std::size_t n = 0; n < blockCount; ++n) sha1BlockShaNi(abcd, e, blocks + 64 * n);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = std::uint32_t(_mm_extract_epi32(e, 3));
}

}  // namespace pennaform::digests

#endif

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

#include <utility>

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

// group: rounds 4G to 4G+3 (G from 1 to 19) with round function G / 5, as
// each function serves twenty rounds. From group 4 on, the group's message
// words are first scheduled from the four groups before it; m holds the last
// four groups, group G in m[G % 4].
template <int G>
PENNAFORM_SHA_TARGET inline void group(__m128i& abcd, __m128i& previous, __m128i (&m)[4]) {
    if constexpr (G >= 4)
        m[G % 4] = nextWords(m[G % 4], m[(G + 1) % 4], m[(G + 2) % 4], m[(G + 3) % 4]);
    fourRounds<G / 5>(abcd, previous, m[G % 4]);
}

// groups: the groups in order, unrolled at compile time so that each round
// function is the instruction's immediate and m stays in registers.
template <int... G>
PENNAFORM_SHA_TARGET inline void groups(__m128i& abcd, __m128i& previous, __m128i (&m)[4],
                                        std::integer_sequence<int, G...>) {
    (group<G + 1>(abcd, previous, m), ...);
}

PENNAFORM_SHA_TARGET void sha1BlockShaNi(__m128i& abcd, __m128i& e, const std::uint8_t* p) {
    const __m128i abcdBefore = abcd;
    const __m128i eBefore = e;
    __m128i m[4] = {loadWords(p), loadWords(p + 16), loadWords(p + 32), loadWords(p + 48)};

    // Rounds 0-3 take E directly; every later group derives it.
    __m128i previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e, m[0]), 0);
    groups(abcd, previous, m, std::make_integer_sequence<int, 19>());

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

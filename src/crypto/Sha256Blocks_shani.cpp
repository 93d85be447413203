// SHA-256 block function on the SHA extensions (SHA256RNDS2, SHA256MSG1,
// SHA256MSG2), compiled for them with a function-level target so the build
// needs no special flags; called only when the CPU has them.
//
// SHA256RNDS2 keeps the state in two registers, one holding A, B, E, F and
// the other C, D, G, H (A and C in the highest dwords), and takes two rounds'
// message-plus-constant sums in the low half of a third.
#if defined(__x86_64__)

#include <immintrin.h>

#include "crypto/DigestKernels.h"
#include "crypto/Sha2Constants.h"

namespace pennaform::digests {
namespace {

#define PENNAFORM_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// loadWords: four big-endian message words, the first in the lowest dword.
PENNAFORM_SHA_TARGET inline __m128i loadWords(const std::uint8_t* p) {
    const __m128i swapEachWord = _mm_set_epi64x(0x0c0d0e0f08090a0b, 0x0405060700010203);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), swapEachWord);
}

// nextWords: schedule words t..t+3 from the four groups before them:
// W[t] = sigma1(W[t-2]) + W[t-7] + sigma0(W[t-15]) + W[t-16] (section 6.2.2).
PENNAFORM_SHA_TARGET inline __m128i nextWords(__m128i g4, __m128i g3, __m128i g2, __m128i g1) {
    const __m128i t7 = _mm_alignr_epi8(g1, g2, 4);  // W[t-7..t-4]
    return _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(g4, g3), t7), g1);
}

// Four rounds with the message group `words` starting at round `t`.
PENNAFORM_SHA_TARGET inline void fourRounds(__m128i& abef, __m128i& cdgh, __m128i words, int t) {
    const __m128i k =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants.data() + t));
    const __m128i sums = _mm_add_epi32(words, k);
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, sums);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(sums, 0x0E));
}

PENNAFORM_SHA_TARGET void sha256BlockShaNi(__m128i& abef, __m128i& cdgh, const std::uint8_t* p) {
    const __m128i abefBefore = abef;
    const __m128i cdghBefore = cdgh;
    __m128i m0 = loadWords(p), m1 = loadWords(p + 16), m2 = loadWords(p + 32),
            m3 = loadWords(p + 48);
    fourRounds(abef, cdgh, m0, 0);
    fourRounds(abef, cdgh, m1, 4);
    fourRounds(abef, cdgh, m2, 8);
    fourRounds(abef, cdgh, m3, 12);
    for (int t = 16; t < 64; t += 16) {
        m0 = nextWords(m0, m1, m2, m3);
        fourRounds(abef, cdgh, m0, t);
        m1 = nextWords(m1, m2, m3, m0);
        fourRounds(abef, cdgh, m1, t + 4);
        m2 = nextWords(m2, m3, m0, m1);
        fourRounds(abef, cdgh, m2, t + 8);
        m3 = nextWords(m3, m0, m1, m2);
        fourRounds(abef, cdgh, m3, t + 12);
    }
    abef = _mm_add_epi32(abef, abefBefore);
    cdgh = _mm_add_epi32(cdgh, cdghBefore);
}

}  // namespace

PENNAFORM_SHA_TARGET void sha256BlocksShaNi(std::uint32_t* state, const std::uint8_t* blocks,
                                            std::size_t blockCount) {
    // state[0..7] = a..h; rearrange into the instruction's two registers.
    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (std::size_t n = 0; n < blockCount; ++n) sha256BlockShaNi(abef, cdgh, blocks + 64 * n);

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace pennaform::digests

#endif

#include "crypto/sha256_shani.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include "crypto/sha256_constants.h"

// Only the functions below are built for the SHA extensions (and the SSSE3 byte shuffle and SSE4.1
// blend around them); the rest of the program runs on any x86-64.
#define NOTEDIAG_SHANI [[gnu::target("sha,sse4.1")]]
#define NOTEDIAG_SHANI_INLINE [[gnu::target("sha,sse4.1"), gnu::always_inline]] inline

namespace sha256_internal {

namespace {

// The message words are big-endian; this reverses the bytes of each 32-bit lane.
NOTEDIAG_SHANI_INLINE __m128i load_words(const std::uint8_t* p) {
    const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), swap);
}

// Four rounds, 4g to 4g+3, with the message words `w` (W[4g..4g+3], W[4g] in the low lane).
// SHA256RNDS2 does two rounds on the pair of registers (A, B, E, F) and (C, D, G, H), taking the
// two rounds' W + K from the low half of its third operand.
template <int G>
NOTEDIAG_SHANI_INLINE void four_rounds(__m128i& abef, __m128i& cdgh, __m128i w) {
    __m128i wk =
        _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(round_constants + 4 * G)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
    wk = _mm_shuffle_epi32(wk, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
}

// The message schedule, four words at a time, in the rotating registers m[0..3]: after the rounds
// of group G, m[G % 4] holds W[4G..4G+3]. W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16]:
// SHA256MSG1 adds the s0 terms to W[t-16] as soon as W[t-15] is known (group G + 1 = t/4 - 3),
// the W[t-7] words are added two groups later, and SHA256MSG2 adds the s1 terms, which need the
// words of the group just before.
template <int G>
NOTEDIAG_SHANI_INLINE void group(__m128i& abef, __m128i& cdgh, __m128i (&m)[4]) {
    __m128i& current = m[G % 4];
    four_rounds<G>(abef, cdgh, current);
    if constexpr (G >= 3 && G <= 14) {
        __m128i& next = m[(G + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(current, m[(G + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, current);
    }
    if constexpr (G >= 1 && G <= 12) {
        __m128i& previous = m[(G + 3) % 4];
        previous = _mm_sha256msg1_epu32(previous, current);
    }
}

template <int... G>
NOTEDIAG_SHANI_INLINE void all_groups(__m128i& abef, __m128i& cdgh, __m128i (&m)[4]) {
    (group<G>(abef, cdgh, m), ...);
}

}  // namespace

NOTEDIAG_SHANI void compress_blocks_shani(std::uint32_t state[8], const std::uint8_t* data,
                                          std::uint32_t blocks) {
    // From H0..H7 in memory order (lane 0 = A) to the register pair the instructions work on:
    // (A, B, E, F) and (C, D, G, H), each with its first letter in the highest lane.
    const __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)),
                                           0xB1);  // lanes B A D C
    const __m128i efgh = _mm_shuffle_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);  // lanes H G F E
    __m128i abef = _mm_alignr_epi8(abcd, efgh, 8);                            // lanes F E B A
    __m128i cdgh = _mm_blend_epi16(efgh, abcd, 0xF0);                         // lanes H G D C

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef_before = abef;
        const __m128i cdgh_before = cdgh;
        __m128i m[4] = {load_words(data), load_words(data + 16), load_words(data + 32),
                        load_words(data + 48)};
        all_groups<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>(abef, cdgh, m);
        abef = _mm_add_epi32(abef, abef_before);
        cdgh = _mm_add_epi32(cdgh, cdgh_before);
    }

    const __m128i abef_lanes = _mm_shuffle_epi32(abef, 0x1B);  // lanes A B E F
    const __m128i cdgh_lanes = _mm_shuffle_epi32(cdgh, 0xB1);  // lanes G H C D
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state),
                     _mm_blend_epi16(abef_lanes, cdgh_lanes, 0xF0));  // lanes A B C D
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4),
                     _mm_alignr_epi8(cdgh_lanes, abef_lanes, 8));  // lanes E F G H
}

}  // namespace sha256_internal

#endif

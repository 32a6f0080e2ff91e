// The SHA-256 rounds on the processor's SHA extensions as always-inline pieces, for every routine
// that runs them: the compression of the sha256 module, the key trial's hash of several candidates
// side by side, and the CBC decryption that hashes what it decrypts. Internal to the crypto room;
// compiled only where platform/cpu.h enables the x86 paths, inside functions built for at least
// the target below.
#pragma once

#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include <cstdint>

#include "crypto/sha256_constants.h"

#define NOTEDIAG_SHANI_INLINE [[gnu::target("sha,sse4.1"), gnu::always_inline]] inline

namespace sha256_internal {

// The message words are big-endian; this reverses the bytes of each 32-bit lane.
NOTEDIAG_SHANI_INLINE __m128i load_message_words(const std::uint8_t* p) {
    const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), swap);
}

// The chaining value H0..H7 (as integers, in memory order) as the register pair the instructions
// work on: (A, B, E, F) and (C, D, G, H), each with its first letter in the highest lane.
NOTEDIAG_SHANI_INLINE void to_register_pair(const std::uint32_t state[8], __m128i& abef,
                                            __m128i& cdgh) {
    const __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)),
                                           0xB1);  // lanes B A D C
    const __m128i efgh = _mm_shuffle_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);  // lanes H G F E
    abef = _mm_alignr_epi8(abcd, efgh, 8);                                    // lanes F E B A
    cdgh = _mm_blend_epi16(efgh, abcd, 0xF0);                                 // lanes H G D C
}

// Back from the register pair to H0..H3 and H4..H7 in memory order.
NOTEDIAG_SHANI_INLINE void from_register_pair(__m128i abef, __m128i cdgh, __m128i& abcd,
                                              __m128i& efgh) {
    const __m128i abef_lanes = _mm_shuffle_epi32(abef, 0x1B);  // lanes A B E F
    const __m128i cdgh_lanes = _mm_shuffle_epi32(cdgh, 0xB1);  // lanes G H C D
    abcd = _mm_blend_epi16(abef_lanes, cdgh_lanes, 0xF0);      // lanes A B C D
    efgh = _mm_alignr_epi8(cdgh_lanes, abef_lanes, 8);         // lanes E F G H
}

NOTEDIAG_SHANI_INLINE void from_register_pair(__m128i abef, __m128i cdgh, std::uint32_t state[8]) {
    __m128i abcd;
    __m128i efgh;
    from_register_pair(abef, cdgh, abcd, efgh);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), abcd);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), efgh);
}

// Rounds 4G to 4G+3 of L independent hashes, each step taken for every lane before the next, so
// that one lane's work fills the latency of another's. SHA256RNDS2 does two rounds on the pair of
// registers, taking the two rounds' W + K from the low half of its third operand. The message
// schedule runs in the rotating registers m[l][0..3]: after the rounds of group G, m[l][G % 4]
// holds W[4G..4G+3]. W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16]: SHA256MSG1 adds the s0
// terms to W[t-16] as soon as W[t-15] is known (group G + 1 = t/4 - 3), the W[t-7] words are added
// two groups later, and SHA256MSG2 adds the s1 terms, which need the words of the group just
// before.
template <int G, int L>
NOTEDIAG_SHANI_INLINE void rounds_group(__m128i (&abef)[L], __m128i (&cdgh)[L],
                                        __m128i (&m)[L][4]) {
    const __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(round_constants + 4 * G));
    __m128i wk[L];
    for (int l = 0; l < L; ++l) {
        wk[l] = _mm_add_epi32(m[l][G % 4], k);
        cdgh[l] = _mm_sha256rnds2_epu32(cdgh[l], abef[l], wk[l]);
    }
    for (int l = 0; l < L; ++l) {
        abef[l] = _mm_sha256rnds2_epu32(abef[l], cdgh[l], _mm_shuffle_epi32(wk[l], 0x0E));
    }
    for (int l = 0; l < L; ++l) {
        __m128i& current = m[l][G % 4];
        if constexpr (G >= 3 && G <= 14) {
            __m128i& next = m[l][(G + 1) % 4];
            next = _mm_add_epi32(next, _mm_alignr_epi8(current, m[l][(G + 3) % 4], 4));
            next = _mm_sha256msg2_epu32(next, current);
        }
        if constexpr (G >= 1 && G <= 12) {
            __m128i& previous = m[l][(G + 3) % 4];
            previous = _mm_sha256msg1_epu32(previous, current);
        }
    }
}

template <int L, int... G>
NOTEDIAG_SHANI_INLINE void all_rounds(__m128i (&abef)[L], __m128i (&cdgh)[L], __m128i (&m)[L][4]) {
    (rounds_group<G, L>(abef, cdgh, m), ...);
}

// One 64-byte block at `block` compressed into the register pair of one hash.
NOTEDIAG_SHANI_INLINE void compress_block(__m128i& abef, __m128i& cdgh, const std::uint8_t* block) {
    __m128i a[1] = {abef};
    __m128i c[1] = {cdgh};
    __m128i m[1][4] = {{load_message_words(block), load_message_words(block + 16),
                        load_message_words(block + 32), load_message_words(block + 48)}};
    all_rounds<1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>(a, c, m);
    abef = _mm_add_epi32(a[0], abef);
    cdgh = _mm_add_epi32(c[0], cdgh);
}

}  // namespace sha256_internal

#endif

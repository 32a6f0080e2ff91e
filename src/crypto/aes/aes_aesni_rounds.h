// CBC decryption on the processor's AES instructions as always-inline pieces, for the CBC loop of
// aes_modes_aesni.cpp and for the decryption that hashes what it decrypts. Internal to the crypto
// room; compiled only where platform/cpu.h enables the x86 paths, inside functions built for at
// least the "aes" target.
#pragma once

#include "platform/cpu.h"

#if NOTEDIAG_X86_PATHS

#include <immintrin.h>

#include <cstdint>

#define NOTEDIAG_AESNI_INLINE [[gnu::target("aes"), gnu::always_inline]] inline

namespace aes_internal {

inline constexpr int kAesniBlock = 16;

// The context holds the equivalent inverse cipher's round keys, slot 0 first, which is the order
// and form AESDEC and AESDECLAST take them in. Its words hold their first byte lowest, so on this
// little-endian processor each slot's bytes in memory are the round key in FIPS-197 byte order.
NOTEDIAG_AESNI_INLINE __m128i round_key(const std::uint32_t* round_keys, int slot) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(round_keys + 4 * slot));
}

NOTEDIAG_AESNI_INLINE __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

NOTEDIAG_AESNI_INLINE void store(std::uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Decrypts `Lanes` consecutive blocks side by side and returns the last ciphertext block, the next
// chaining value. One AESDEC takes several cycles to finish but a new one can start every cycle or
// half cycle, and the blocks of CBC decryption do not depend on each other: with enough of them in
// flight the unit never waits. Every ciphertext block is loaded before the first store, so `out`
// may be `in`.
template <int Rounds, int Lanes>
NOTEDIAG_AESNI_INLINE __m128i decrypt_group(const std::uint8_t* in, std::uint8_t* out,
                                            __m128i chain, const std::uint32_t* round_keys) {
    __m128i cipher[Lanes];
    __m128i state[Lanes];
    const __m128i first = round_key(round_keys, 0);
#pragma GCC unroll 8
    for (int k = 0; k < Lanes; ++k) {
        cipher[k] = load(in + kAesniBlock * k);
        state[k] = _mm_xor_si128(cipher[k], first);
    }
#pragma GCC unroll 14
    for (int round = 1; round < Rounds; ++round) {
        const __m128i key = round_key(round_keys, round);
#pragma GCC unroll 8
        for (int k = 0; k < Lanes; ++k) {
            state[k] = _mm_aesdec_si128(state[k], key);
        }
    }
    const __m128i last = round_key(round_keys, Rounds);
#pragma GCC unroll 8
    for (int k = 0; k < Lanes; ++k) {
        state[k] = _mm_aesdeclast_si128(state[k], last);
    }
    store(out, _mm_xor_si128(state[0], chain));
#pragma GCC unroll 8
    for (int k = 1; k < Lanes; ++k) {
        store(out + kAesniBlock * k, _mm_xor_si128(state[k], cipher[k - 1]));
    }
    return cipher[Lanes - 1];
}

}  // namespace aes_internal

#endif
